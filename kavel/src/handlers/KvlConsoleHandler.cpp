// The console handler ("kvl_consolehandler"): formatted records on the
// process's standard output.
//
// It writes through stdio's stdout, the stream the controller prints its
// outcome lines on, so the two keep their order; text is converted from
// UTF-8 to the local codeset on the way. No flush and no line end of its
// own: the formatter's text carries its line feed. The private record
// remembers whether the header has been written, so the first record
// after an open (or a reopen) follows the header and a second close
// writes no second trailer. It runs the toolkit's one handler sequence:
// this module is its output alone.

#include <cstdio>
#include <new>

#include "KvlClasses.h"
#include "KvlFormat.h"
#include "KvlHandlerSeam.h"
#include "KvlMessage.h"
#include "KvlObject.h"
#include "OxsMemory.h"

namespace {

struct ConsoleVars {
    unsigned char isOpen;
};

ConsoleVars *varsOf(KvlObject *handler) {
    return handler != nullptr ? static_cast<ConsoleVars *>(handler->vars) : nullptr;
}

// Prints a header or trailer the formatter handed out, and frees it.
void printAndFree(char *text) {
    if (text == nullptr) return;
    kvlI18PrintUTF8AsLocal(stdout, text);
    OxsMemoryFree(text);
}

KvlPrepared prepareConsole(KvlObject *handler) {
    ConsoleVars *vars = varsOf(handler);
    if (vars == nullptr) return KvlPrepared::kSkip;
    if (vars->isOpen == 0) KvlConsoleHandlerFOpen(handler);
    return KvlPrepared::kReady;
}

void printText(KvlObject *, std::string_view text) {
    kvlI18PrintUTF8AsLocalN(stdout, text.data(), text.size());
}

}  // namespace

const KvlHandlerWriter kvl::kConsoleHandlerWriter = {prepareConsole, printText, nullptr, nullptr,
                                                     nullptr};

extern "C" {

void *KvlConsoleHandlerFAllocVars(void) noexcept { return new (std::nothrow) ConsoleVars{0}; }

void KvlConsoleHandlerFFreeVars(void *vars) noexcept { delete static_cast<ConsoleVars *>(vars); }

KvlObject *KvlConsoleHandlerFOpen(KvlObject *handler) noexcept {
    ConsoleVars *vars = varsOf(handler);
    if (vars == nullptr || vars->isOpen == 1) return handler;
    printAndFree(kvlIntlHandlerGetFmtHeader(handler));
    vars->isOpen = 1;
    return handler;
}

KvlObject *KvlConsoleHandlerFProcess(KvlObject *handler, KvlEvent *event) noexcept {
    return kvl::handleEvent(handler, event);
}

KvlObject *KvlConsoleHandlerFClose(KvlObject *handler) noexcept {
    ConsoleVars *vars = varsOf(handler);
    if (vars == nullptr || vars->isOpen == 0) return handler;
    printAndFree(kvlIntlHandlerGetFmtTrailer(handler));
    vars->isOpen = 0;
    return handler;
}

}  // extern "C"

// The console handler ("kvl_consolehandler"): formatted records on the
// process's standard output.
//
// It writes through stdio's stdout, the stream the controller prints its
// outcome lines on, so the two keep their order; text is converted from
// UTF-8 to the local codeset on the way. No flush and no line end of its
// own: the formatter's text carries its line feed. The private record
// remembers whether the header has been written, so the first record
// after an open (or a reopen) follows the header and a second close
// writes no second trailer. Records are formatted into the toolkit's
// reused per-thread record text, as the file handlers do.

#include <cstdio>
#include <new>

#include "KvlClasses.h"
#include "KvlFormat.h"
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

}  // namespace

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
    ConsoleVars *vars = varsOf(handler);
    if (vars == nullptr || event == nullptr || handler->enabled == 0) return handler;
    if (vars->isOpen == 0) KvlConsoleHandlerFOpen(handler);
    kvl::RecordText record;
    if (kvl::formatRecord(handler, event, record.text()))
        kvlI18PrintUTF8AsLocal(stdout, record.text().c_str());
    KvlBasicObjectFLog(handler, event);
    return handler;
}

KvlObject *KvlConsoleHandlerFClose(KvlObject *handler) noexcept {
    ConsoleVars *vars = varsOf(handler);
    if (vars == nullptr || vars->isOpen == 0) return handler;
    printAndFree(kvlIntlHandlerGetFmtTrailer(handler));
    vars->isOpen = 0;
    return handler;
}

}  // extern "C"

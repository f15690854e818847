// The console handler ("kvl_consolehandler").
//
// TEMPORARY STAND-IN: the console output is not built yet; the handler
// takes events and writes nothing.

#include "KvlClasses.h"

extern "C" {

void *KvlConsoleHandlerFAllocVars(void) noexcept { return nullptr; }
void KvlConsoleHandlerFFreeVars(void *) noexcept {}
KvlObject *KvlConsoleHandlerFProcess(KvlObject *handler, KvlEvent *) noexcept { return handler; }
KvlObject *KvlConsoleHandlerFOpen(KvlObject *handler) noexcept { return handler; }
KvlObject *KvlConsoleHandlerFClose(KvlObject *handler) noexcept { return handler; }

}  // extern "C"

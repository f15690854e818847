// The handler base: the formatter slot and the operations every handler
// class starts from.
//
// The basic process, open and close do nothing; a handler class replaces
// them. The formatter slot holds one reference.

#include <string_view>

#include "KvlClasses.h"
#include "KvlObject.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"

extern "C" {

void kvlIntlHandlerSetFormatter(KvlObject *handler, KvlObject *formatter) noexcept {
    if (handler == nullptr || handler->klass == nullptr || handler->klass->kind != KVL_KIND_HANDLER)
        return;
    if (formatter != nullptr &&
        (formatter->klass == nullptr || formatter->klass->kind != KVL_KIND_FORMATTER))
        return;
    KvlObject *old = handler->formatter;
    handler->formatter = kvlIntlAcquireObject(formatter);
    kvlIntlReleaseObject(old);
}

// "formatterName": the formatter of that name (got or created with its
// configured class) becomes the handler's.
void KvlBasicHandlerFCfgChange(KvlObject *handler, const char *name) noexcept {
    if (handler == nullptr || name == nullptr) return;
    if (std::string_view(name) != "formatterName") {
        KvlBasicObjectFCfgChange(handler, name);
        return;
    }
    char *formatterName = kvlIntlGetObjProp(handler, name, nullptr);
    if (formatterName == nullptr) return;
    KvlObject *formatter = kvlIntlGetObject(formatterName, nullptr);
    OxsMemoryFree(formatterName);
    if (formatter != nullptr) kvlIntlHandlerSetFormatter(handler, formatter);
    kvlIntlReleaseObject(formatter);
}

KvlObject *KvlBasicHandlerFProcess(KvlObject *handler, KvlEvent *) noexcept { return handler; }
KvlObject *KvlBasicHandlerFOpen(KvlObject *handler) noexcept { return handler; }
KvlObject *KvlBasicHandlerFClose(KvlObject *handler) noexcept { return handler; }

static void callSlot(KvlObject *handler, bool open) noexcept {
    KvlApiLock lock;
    if (!lock || handler == nullptr || handler->klass == nullptr ||
        handler->klass->kind != KVL_KIND_HANDLER)
        return;
    if (open && handler->klass->open != nullptr) handler->klass->open(handler);
    if (!open && handler->klass->close != nullptr) handler->klass->close(handler);
}

void KvlHandlerOpen(KvlObject *handler) noexcept { callSlot(handler, true); }
void KvlHandlerClose(KvlObject *handler) noexcept { callSlot(handler, false); }

}  // extern "C"

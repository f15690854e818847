// Filters: the level filter ("kvl_levelfilter") and the message-id filter
// ("kvl_msgidfilter").
//
// TEMPORARY STAND-IN for the verdicts: until events carry levels and
// message ids, every filter passes every event on (a level filter without
// a "level" property passes everything too). Passing on is real: a filter
// forwards an event only on a verdict of exactly 1.

#include "KvlClasses.h"
#include "KvlObject.h"

extern "C" {

KvlObject *KvlBasicFilterFProcess(KvlObject *filter, KvlEvent *event) noexcept {
    if (filter == nullptr || filter->klass == nullptr) return filter;
    KvlObjClass *klass = filter->klass;
    if (klass->isLoggable != nullptr && klass->isLoggable(filter, event) == 1 &&
        klass->log != nullptr)
        klass->log(filter, event);
    return filter;
}

void KvlLevelFilterFCfgChange(KvlObject *filter, const char *name) noexcept {
    KvlBasicObjectFCfgChange(filter, name);
}
int KvlLevelFilterFIsLoggable(KvlObject *, KvlEvent *) noexcept { return 1; }

void *KvlMsgIdFilterFAllocVars(void) noexcept { return nullptr; }
void KvlMsgIdFilterFFreeVars(void *) noexcept {}
void KvlMsgIdFilterFCfgChange(KvlObject *filter, const char *name) noexcept {
    KvlBasicObjectFCfgChange(filter, name);
}
int KvlMsgIdFilterFIsLoggable(KvlObject *, KvlEvent *) noexcept { return 1; }

}  // extern "C"

// The handler base: the formatter slot, the operations every handler
// class starts from, and the one handler sequence (KvlHandlerSeam.h).
//
// The basic process, open and close do nothing; a handler class replaces
// them. The formatter slot holds one reference. Every text operation
// yields null unless the handler is a handler, its formatter a formatter,
// and the formatter's class has the operation: a handler without a
// formatter writes nothing and has no header or trailer.

#include <string_view>
#include <vector>

#include "KvlClasses.h"
#include "KvlFormat.h"
#include "KvlHandlerSeam.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

// "formatterName": the formatter of that name (got or created with its
// configured class) becomes the handler's.
void applyFormatterName(KvlObject *handler, const kvl::PropertyValue &value) {
    KvlObject *formatter = kvlIntlGetObject(value.text, nullptr);
    if (formatter != nullptr) kvlIntlHandlerSetFormatter(handler, formatter);
    kvlIntlReleaseObject(formatter);
}

constexpr kvl::PropertyDef kHandlerDefs[] = {
    {"formatterName", kvl::PropertyKind::kObject, KVL_DEFAULT_FORMATTER_NAME,
     kvl::WhenAbsent::kKeeps, kvl::Closes::kNo, applyFormatterName},
};

}  // namespace

// Every handler: its formatter, then the common properties.
constexpr kvl::PropertyTable kvl::kHandlerProperties = {kHandlerDefs, &kvl::kObjectProperties};

extern "C" {

// The handler's formatter when both are what they claim to be.
static KvlObject *formatterOf(KvlObject *handler) {
    if (!kvlObjectIsKind(handler, KVL_KIND_HANDLER)) return nullptr;
    KvlObject *formatter = handler->formatter;
    return kvlObjectIsKind(formatter, KVL_KIND_FORMATTER) ? formatter : nullptr;
}

KvlObject *kvlIntlHandlerGetFormatter(KvlObject *handler) noexcept {
    return kvlIntlAcquireObject(formatterOf(handler));
}

// The new formatter is acquired before the old one is released: handing in
// the formatter already bound, through a borrowed handle, must not destroy
// it between the two.
void kvlIntlHandlerSetFormatter(KvlObject *handler, KvlObject *formatter) noexcept {
    KVL_ASSERT_LOCKED();
    if (!kvlObjectIsKind(handler, KVL_KIND_HANDLER)) return;
    if (formatter != nullptr && !kvlObjectIsKind(formatter, KVL_KIND_FORMATTER)) return;
    KvlObject *old = handler->formatter;
    handler->formatter = kvlIntlAcquireObject(formatter);
    kvlIntlReleaseObject(old);
}

char *kvlIntlHandlerGetFmtHeader(KvlObject *handler) noexcept {
    KvlObject *formatter = formatterOf(handler);
    return formatter != nullptr && formatter->klass->getHeader != nullptr
               ? formatter->klass->getHeader(formatter)
               : nullptr;
}

char *kvlIntlHandlerGetFmtTrailer(KvlObject *handler) noexcept {
    KvlObject *formatter = formatterOf(handler);
    return formatter != nullptr && formatter->klass->getTrailer != nullptr
               ? formatter->klass->getTrailer(formatter)
               : nullptr;
}

char *kvlIntlHandlerDoFmt(KvlObject *handler, KvlEvent *event) noexcept {
    KvlObject *formatter = formatterOf(handler);
    return formatter != nullptr && formatter->klass->format != nullptr && event != nullptr
               ? formatter->klass->format(formatter, event)
               : nullptr;
}

}  // extern "C"

// The formatter's seam where its class has one; else its public format
// slot and a copy of the text it hands out.
static bool formatWith(KvlObject *formatter, KvlEvent *event, std::string &out) {
    if (!kvlObjectIsKind(formatter, KVL_KIND_FORMATTER) || event == nullptr) return false;
    const KvlObjClass *klass = formatter->klass;
    if (klass->internals.formatInto != nullptr)
        return klass->internals.formatInto(formatter, event, out);
    char *text = klass->format != nullptr ? klass->format(formatter, event) : nullptr;
    if (text == nullptr) return false;
    out += text;
    OxsMemoryFree(text);
    return true;
}

bool kvl::formatRecord(KvlObject *handler, KvlEvent *event, std::string &out) {
    return formatWith(formatterOf(handler), event, out);
}

char *kvlIntlFormatterFormat(KvlObject *formatter, KvlEvent *event) noexcept {
    try {
        std::string text;
        if (!formatWith(formatter, event, text)) return nullptr;
        return OxsStringDup(text.c_str());
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

KvlObject *kvl::handleEvent(KvlObject *handler, KvlEvent *event) noexcept {
    if (!kvlObjectIsKind(handler, KVL_KIND_HANDLER) || event == nullptr || handler->enabled == 0)
        return handler;
    const KvlHandlerWriter *writer = handler->klass->internals.writer;
    if (writer == nullptr) return handler;
    const KvlPrepared prepared = writer->prepare(handler);
    if (prepared == KvlPrepared::kSkip) return handler;
    if (prepared == KvlPrepared::kReady) {
        RecordText record;
        if (formatRecord(handler, event, record.text())) writer->writeText(handler, record.text());
    }
    KvlBasicObjectFLog(handler, event);
    return handler;
}

namespace {
thread_local kvl::WriteJournal *currentJournal = nullptr;

// A text handler class's operations behind the writer every handler has.
KvlPrepared prepareText(KvlObject *handler) {
    return handler->klass->internals.prepareText(handler) == 1 ? KvlPrepared::kReady
                                                               : KvlPrepared::kClosed;
}
void writeText(KvlObject *handler, std::string_view text) {
    handler->klass->internals.writeText(handler, text.data(), text.size());
}
void writeTextBatch(KvlObject *handler, std::span<const std::string_view> texts) {
    const KvlClassInternals &internals = handler->klass->internals;
    if (internals.writeTexts == nullptr) {
        for (const std::string_view text : texts)
            writeText(handler, text);
        return;
    }
    thread_local std::vector<const char *> starts;
    thread_local std::vector<size_t> lengths;
    starts.clear();
    lengths.clear();
    for (const std::string_view text : texts) {
        starts.push_back(text.data());
        lengths.push_back(text.size());
    }
    internals.writeTexts(handler, starts.data(), lengths.data(), texts.size());
}
}  // namespace

const KvlHandlerWriter kvl::kTextHandlerWriter = {prepareText, writeText, writeTextBatch, nullptr,
                                                  nullptr};

void kvl::setWriteJournal(WriteJournal *journal) noexcept { currentJournal = journal; }
kvl::WriteJournal *kvl::writeJournal() noexcept { return currentJournal; }

bool kvl::writeTexts(KvlObject *handler, std::span<const std::string_view> texts) noexcept {
    if (!kvlObjectIsKind(handler, KVL_KIND_HANDLER)) return false;
    const KvlHandlerWriter *writer = handler->klass->internals.writer;
    if (writer == nullptr || writer->prepare(handler) != KvlPrepared::kReady) return false;
    if (writer->writeBatch != nullptr) {
        writer->writeBatch(handler, texts);
    } else {
        for (const std::string_view text : texts)
            writer->writeText(handler, text);
    }
    return true;
}

extern "C" {

KvlObject *KvlHandlerGetFormatter(KvlObject *handler) noexcept
    KVL_LOCKED(nullptr, kvlIntlHandlerGetFormatter(handler))
void KvlHandlerSetFormatter(KvlObject *handler, KvlObject *formatter) noexcept
    KVL_LOCKED(, kvlIntlHandlerSetFormatter(handler, formatter))
char *KvlHandlerGetFmtHeader(KvlObject *handler) noexcept
    KVL_LOCKED(nullptr, kvlIntlHandlerGetFmtHeader(handler))
char *KvlHandlerGetFmtTrailer(KvlObject *handler) noexcept
    KVL_LOCKED(nullptr, kvlIntlHandlerGetFmtTrailer(handler))
char *KvlHandlerDoFmt(KvlObject *handler, KvlEvent *event) noexcept
    KVL_LOCKED(nullptr, kvlIntlHandlerDoFmt(handler, event))

static KvlObject *textHandlerProcess(KvlObject *handler, KvlEvent *event) noexcept {
    return kvl::handleEvent(handler, event);
}

void KvlAddTextHandlerClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                            KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFOpen open,
                            KvlFClose close, KvlFPrepareText prepare, KvlFWriteText write,
                            KvlFWriteTexts writeAll) noexcept {
    KvlApiLock lock;
    if (!lock || name == nullptr || prepare == nullptr || write == nullptr) return;
    kvlToolkitInitObjClasses();  // a built-in name is taken
    if (kvlToolkitGetClassDef(name) != nullptr) return;
    kvlIntlAddHandlerClass(name, description, allocVars, freeVars, cfgChange, textHandlerProcess,
                           open, close);
    if (KvlObjClass *klass = kvlToolkitGetClassDef(name)) {
        klass->internals.writer = &kvl::kTextHandlerWriter;
        klass->internals.prepareText = prepare;
        klass->internals.writeText = write;
        klass->internals.writeTexts = writeAll;
    }
}

void KvlBasicHandlerFCfgChange(KvlObject *handler, const char *name) noexcept {
    kvl::configure(handler, name, kvl::kHandlerProperties);
}

KvlObject *KvlBasicHandlerFProcess(KvlObject *handler, KvlEvent *) noexcept { return handler; }
KvlObject *KvlBasicHandlerFOpen(KvlObject *handler) noexcept { return handler; }
KvlObject *KvlBasicHandlerFClose(KvlObject *handler) noexcept { return handler; }

static void callSlot(KvlObject *handler, bool open) noexcept {
    KvlApiLock lock;
    if (!lock || !kvlObjectIsKind(handler, KVL_KIND_HANDLER)) return;
    if (open && handler->klass->open != nullptr) handler->klass->open(handler);
    if (!open && handler->klass->close != nullptr) handler->klass->close(handler);
}

void KvlHandlerOpen(KvlObject *handler) noexcept { callSlot(handler, true); }
void KvlHandlerClose(KvlObject *handler) noexcept { callSlot(handler, false); }

}  // extern "C"

/*
 * The one way through a handler. Every handler class of the toolkit runs
 * the same sequence for an event (kvl::handleEvent): skip it when the
 * handler is disabled, have the output ready, format the record into the
 * reused per-thread record text through the formatter's seam, write that
 * text, and pass the event on to the handler's listeners. A class brings
 * only its writer: how its output is made ready and how a text (or a
 * batch of texts, as a queue drains them) reaches it. So a handler class
 * is its output and nothing of the sequence, and the sequence is written
 * once. C++ only.
 */
#ifndef KVL_HANDLER_SEAM_H
#define KVL_HANDLER_SEAM_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "KvlObject.h"

/* Whether a handler's output can take a record now. */
enum class KvlPrepared {
    kReady,  /* write it */
    kClosed, /* it cannot; the event still goes to the listeners */
    kSkip,   /* the event goes nowhere (a handler without its record) */
};

struct KvlHandlerWriter {
    /* Makes the output ready for the next record, opening or checking it. */
    KvlPrepared (*prepare)(KvlObject *handler);
    /* Writes one record's text whole, as the output needs it (its codeset,
     * its lock). */
    void (*writeText)(KvlObject *handler, std::string_view text);
    /* Writes records' texts in order, each whole; null: one writeText
     * each. */
    void (*writeBatch)(KvlObject *handler, std::span<const std::string_view> texts);
    /* For a fatal signal's handler, with async-signal-safe calls only: the
     * descriptor that record bytes may be appended to as they are (the
     * output's lock taken), or -1 when there is none or texts need
     * converting; crashEnd gives back what crashBegin took. Null: the
     * output has no such path. */
    int (*crashBegin)(KvlObject *handler);
    void (*crashEnd)(KvlObject *handler);
};

namespace kvl {

/* The writers of the toolkit's handler classes. */
extern const KvlHandlerWriter kConsoleHandlerWriter;
extern const KvlHandlerWriter kFileHandlerWriter;
extern const KvlHandlerWriter kMultiProcHandlerWriter;
extern const KvlHandlerWriter kAsyncHandlerWriter;
/* The writer of a text handler class added by another library: its
 * prepare and write operations. */
extern const KvlHandlerWriter kTextHandlerWriter;

/* Closes every open asynchronous handler, its queue written out: at the
 * toolkit's close, before any object goes. The caller holds the API
 * mutex. */
void closeAsyncHandlers() noexcept;

/* Told of each write of record texts a file handler makes on this thread
 * while it is set (a queue draining into it): what is about to be written
 * where, then whether it was written whole. A queue uses it to know, if
 * its process dies in the middle, what reached the file. Headers and
 * converted texts are not told. A multi-process handler also tells when
 * it has taken its set's lock for such writes (the active file's name and
 * descriptor; true back when the journal wrote to the file, whose size is
 * then read again) and when it is about to give the lock back. */
class WriteJournal {
public:
    virtual void willWrite(uint64_t device, uint64_t inode, uint64_t offset, size_t bytes) = 0;
    virtual void wrote(bool whole) = 0;
    virtual bool lockTaken(const char *activeFile, int fd) = 0;
    virtual void lockReleasing() = 0;

protected:
    ~WriteJournal() = default;
};

/* The current thread's journal (null: none). */
void setWriteJournal(WriteJournal *journal) noexcept;
WriteJournal *writeJournal() noexcept;

/* The handler sequence for one event, for the toolkit's handler classes'
 * FProcess. */
KvlObject *handleEvent(KvlObject *handler, KvlEvent *event) noexcept;

/* Texts written through the handler's writer after it is made ready: a
 * batch where the writer has one. False when the handler has no writer or
 * its output cannot take them. */
bool writeTexts(KvlObject *handler, std::span<const std::string_view> texts) noexcept;

}  // namespace kvl

#endif /* KVL_HANDLER_SEAM_H */

/*
 * Records on their way to a syslog collector: over the local socket
 * ("/dev/log", a datagram socket, or a stream one when that is what is
 * there), UDP, TCP, TLS (KvlSyslogTls.h) or RELP (KvlSyslogRelp.h), one
 * record a datagram, one framed record after another on a stream, or one
 * RELP command a record.
 *
 * The connection is made when the first record comes and made again after
 * a failure, no sooner than a backoff allows (100 ms, doubling to 30 s), so
 * a collector that is down costs a caller one failed attempt per backoff,
 * not one per record; a connect waits at most the endpoint's timeout.
 * Records that cannot go now wait in a bounded queue; when it is full the
 * oldest go first and are counted, and the count is handed to whoever
 * reports it (takeDropped). Nothing blocks on a slow collector: a stream
 * that takes no more keeps the rest queued, a record it took half of
 * first in line. What cannot be known is not guessed: records the kernel
 * took before a connection broke count as sent (over RELP they are sent
 * again until the collector acknowledges them). Why a connection could
 * not be made is handed on once a failure (takeFailure), not at every
 * attempt.
 *
 * One user at a time (the handler's lock). C++ only.
 */
#ifndef KVL_SYSLOG_SENDER_H
#define KVL_SYSLOG_SENDER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "KvlSyslogRecord.h"
#include "KvlSyslogRelp.h"
#include "KvlSyslogTls.h"

namespace kvl::net {

enum class SyslogTransport { kUnix, kUdp, kTcp, kTls, kRelp };

struct SyslogEndpoint {
    SyslogTransport transport = SyslogTransport::kUnix;
    std::string host = "127.0.0.1";                        /* all but unix */
    int port = 0;                                          /* 0: the transport's own */
    std::string socketPath = "/dev/log";                   /* unix */
    SyslogFraming framing = SyslogFraming::kOctetCounting; /* tcp, tls */
    TlsSettings tls;                                       /* tls */
    int connectTimeoutMs = 200;
    size_t queueBytes = 1024 * 1024;
    bool operator==(const SyslogEndpoint &) const = default;
    int portOrDefault() const {
        if (port > 0) return port;
        return transport == SyslogTransport::kTls    ? 6514
               : transport == SyslogTransport::kRelp ? 2514
                                                     : 514;
    }
};

class SyslogSender {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFirstBackoff{100};
    static constexpr std::chrono::milliseconds kLastBackoff{30000};
    static constexpr size_t kGatherBytes = 64 * 1024;

    explicit SyslogSender(SyslogEndpoint endpoint) : endpoint_(std::move(endpoint)) {}
    ~SyslogSender();
    SyslogSender(const SyslogSender &) = delete;
    SyslogSender &operator=(const SyslogSender &) = delete;

    /* Sends a record (unframed: the sender frames it for a stream), after
     * whatever waits; it waits too when it cannot go now. */
    void send(std::string_view record);
    /* Sends records in order after whatever waits: a stream takes as many
     * as fit in one send. */
    void sendAll(std::span<const std::string_view> records);
    /* Sends what waits, connecting first when due. True when nothing
     * waits. */
    bool flush();
    /* The records dropped since the last call. */
    uint64_t takeDropped();
    /* Why the connection could not be made, once for each run of failed
     * attempts (the first after a success, or the first of all); else "". */
    std::string takeFailure() { return std::exchange(failure_, {}); }
    /* Whether a connection is open now. */
    bool connected() const { return fd_ >= 0 || relp_.connected(); }
    size_t waitingBytes() const { return queuedBytes_; }
    /* Ends the sender's work: sends what waits for as long as the connect
     * timeout allows, counts what could not go as dropped, and ends a
     * stream in order (the collector's end of it closed too, so the
     * collector has read everything before the connection goes: closing
     * with data on the way back would reset it and lose what the
     * collector had not read yet). */
    void finish();

private:
    bool connect();
    // The socket for a stream, the datagram transports and TLS, or -1
    // with `why` said.
    int connectSocket(bool &stream, std::string &why);
    void failed(std::string why);
    void disconnect();
    // Waits until the socket takes more, the collector's end closes (for
    // `events` POLLIN) or the deadline.
    bool await(short events, Clock::time_point deadline) const;
    // The next connect no sooner than the backoff, which doubles.
    void backOff();
    void enqueue(std::string frame);
    // Sends the queue's front records; false when one could not go.
    bool sendQueued();
    bool sendRelp();
    // Sends bytes on the stream (through TLS over tls).
    ssize_t sendBytes(const char *data, size_t size);
    // Over a stream: the front records framed, as many as kGatherBytes
    // hold (one at least), in one send.
    bool sendGathered();
    void sendFailed(int error);

    SyslogEndpoint endpoint_;
    int fd_ = -1;
    bool stream_ = false;
    TlsSession tls_;
    RelpClient relp_;
    std::deque<std::string> queue_; /* unframed, oldest first */
    size_t queuedBytes_ = 0;
    size_t frontSent_ = 0;             /* bytes of the front frame a stream took */
    size_t pinned_ = 0;                /* front records the stream holds part of: never dropped */
    std::string gathered_;             /* the framed records of one stream send */
    std::string framing_;              /* one record being framed */
    std::vector<size_t> gatheredEnds_; /* where each record of it ends */
    uint64_t dropped_ = 0;
    std::string failure_;  /* to hand on */
    bool failing_ = false; /* the last attempt failed */
    Clock::time_point nextAttempt_{};
    std::chrono::milliseconds backoff_ = kFirstBackoff;
};

}  // namespace kvl::net

#endif /* KVL_SYSLOG_SENDER_H */

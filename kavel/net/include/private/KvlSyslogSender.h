/*
 * Records on their way to a syslog collector: over the local socket
 * ("/dev/log", a datagram socket, or a stream one when that is what is
 * there), UDP or TCP, one record a datagram or one framed record after
 * another on a stream.
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
 * took before a connection broke count as sent.
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
#include <vector>

#include "KvlSyslogRecord.h"

namespace kvl::net {

enum class SyslogTransport { kUnix, kUdp, kTcp };

struct SyslogEndpoint {
    SyslogTransport transport = SyslogTransport::kUnix;
    std::string host = "127.0.0.1"; /* udp, tcp */
    int port = 514;
    std::string socketPath = "/dev/log";                   /* unix */
    SyslogFraming framing = SyslogFraming::kOctetCounting; /* streams */
    int connectTimeoutMs = 200;
    size_t queueBytes = 1024 * 1024;
    bool operator==(const SyslogEndpoint &) const = default;
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
    /* Whether a connection is open now. */
    bool connected() const { return fd_ >= 0; }
    size_t waitingBytes() const { return queuedBytes_; }

private:
    bool connect();
    void disconnect();
    // The next connect no sooner than the backoff, which doubles.
    void backOff();
    void enqueue(std::string frame);
    // Sends the queue's front records; false when one could not go.
    bool sendQueued();
    // Over a stream: the front records framed, as many as kGatherBytes
    // hold (one at least), in one send.
    bool sendGathered();
    void sendFailed(int error);

    SyslogEndpoint endpoint_;
    int fd_ = -1;
    bool stream_ = false;
    std::deque<std::string> queue_; /* framed, oldest first */
    size_t queuedBytes_ = 0;
    size_t frontSent_ = 0;             /* bytes of the front frame a stream took */
    std::string gathered_;             /* the framed records of one stream send */
    std::string framing_;              /* one record being framed */
    std::vector<size_t> gatheredEnds_; /* where each record of it ends */
    uint64_t dropped_ = 0;
    Clock::time_point nextAttempt_{};
    std::chrono::milliseconds backoff_ = kFirstBackoff;
};

}  // namespace kvl::net

#endif /* KVL_SYSLOG_SENDER_H */

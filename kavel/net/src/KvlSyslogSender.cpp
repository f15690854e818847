// Records on their way to a syslog collector (see KvlSyslogSender.h).

#include "KvlSyslogSender.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace kvl::net {

namespace {

constexpr int kSocketFlags = SOCK_CLOEXEC | SOCK_NONBLOCK;

// Waits up to `timeoutMs` for a non-blocking connect to end; 0 when it
// connected, else the error.
int finishConnect(int fd, int timeoutMs) {
    pollfd wanted{fd, POLLOUT, 0};
    int ready;
    do {
        ready = poll(&wanted, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

// A socket of `type` connected to `address` within the timeout, or -1.
int connectTo(const sockaddr *address, socklen_t length, int family, int type, int timeoutMs) {
    const int fd = socket(family, type | kSocketFlags, 0);
    if (fd < 0) return -1;
    int error = ::connect(fd, address, length) == 0 ? 0 : errno;
    if (error == EINPROGRESS) error = finishConnect(fd, timeoutMs);
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace

SyslogSender::~SyslogSender() { disconnect(); }

void SyslogSender::send(std::string_view record) { sendAll({&record, 1}); }

void SyslogSender::sendAll(std::span<const std::string_view> records) {
    for (const std::string_view record : records)
        enqueue(std::string(record));
    flush();
}

bool SyslogSender::flush() {
    if (queue_.empty()) return true;
    if (!connected() && !connect()) return false;
    return sendQueued();
}

uint64_t SyslogSender::takeDropped() { return std::exchange(dropped_, 0); }

bool SyslogSender::connect() {
    const Clock::time_point now = Clock::now();
    if (now < nextAttempt_) return false;
    std::string why;
    if (endpoint_.transport == SyslogTransport::kRelp) {
        why = relp_.connect(endpoint_.host, endpoint_.portOrDefault(), endpoint_.connectTimeoutMs);
    } else {
        bool stream = false;
        const int fd = connectSocket(stream, why);
        if (fd >= 0 && endpoint_.transport == SyslogTransport::kTls) {
            why = tls_.open(fd, endpoint_.host, endpoint_.tls,
                            now + std::chrono::milliseconds(endpoint_.connectTimeoutMs));
            if (!why.empty()) {
                tls_.close();
                close(fd);
            }
        }
        if (why.empty()) {
            fd_ = fd;
            stream_ = stream;
        }
    }
    if (!why.empty()) {
        failed(std::move(why));
        return false;
    }
    failing_ = false;
    backoff_ = kFirstBackoff;
    return true;
}

int SyslogSender::connectSocket(bool &stream, std::string &why) {
    int fd = -1;
    if (endpoint_.transport == SyslogTransport::kUnix) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (endpoint_.socketPath.size() >= sizeof address.sun_path) {
            why = "the socket's path is too long";
            return -1;
        }
        std::memcpy(address.sun_path, endpoint_.socketPath.c_str(),
                    endpoint_.socketPath.size() + 1);
        const auto *any = reinterpret_cast<const sockaddr *>(&address);
        fd = connectTo(any, sizeof address, AF_UNIX, SOCK_DGRAM, endpoint_.connectTimeoutMs);
        if (fd < 0 && errno == EPROTOTYPE) {  // a stream socket is there
            fd = connectTo(any, sizeof address, AF_UNIX, SOCK_STREAM, endpoint_.connectTimeoutMs);
            stream = true;
        }
    } else {
        stream = endpoint_.transport != SyslogTransport::kUdp;
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = stream ? SOCK_STREAM : SOCK_DGRAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo *found = nullptr;
        const std::string port = std::to_string(endpoint_.portOrDefault());
        const int looked = getaddrinfo(endpoint_.host.c_str(), port.c_str(), &hints, &found);
        if (looked != 0) {
            why = gai_strerror(looked);
            return -1;
        }
        errno = EADDRNOTAVAIL;
        for (const addrinfo *a = found; a != nullptr && fd < 0; a = a->ai_next)
            fd = connectTo(a->ai_addr, a->ai_addrlen, a->ai_family, hints.ai_socktype,
                           endpoint_.connectTimeoutMs);
        freeaddrinfo(found);
    }
    if (fd < 0) why = std::strerror(errno);
    return fd;
}

// A connection could not be made: the next attempt waits, and why is handed
// on if it is the first of a run of failures.
void SyslogSender::failed(std::string why) {
    if (!failing_) failure_ = std::move(why);
    failing_ = true;
    backOff();
}

void SyslogSender::backOff() {
    nextAttempt_ = Clock::now() + backoff_;
    backoff_ = std::min(backoff_ * 2, kLastBackoff);
}

void SyslogSender::disconnect() {
    tls_.close();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    frontSent_ = 0;  // a record a stream took part of goes again whole
    pinned_ = 0;
}

bool SyslogSender::await(short events, Clock::time_point deadline) const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd wanted{fd_, events, 0};
    return left > 0 && poll(&wanted, 1, static_cast<int>(left)) > 0;
}

void SyslogSender::finish() {
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(endpoint_.connectTimeoutMs);
    while (!flush() && fd_ >= 0 && await(POLLOUT, deadline)) {
    }
    dropped_ += queue_.size();
    queue_.clear();
    queuedBytes_ = 0;
    if (fd_ >= 0 && stream_) {
        while (!tls_.end() && await(POLLOUT, deadline)) {
        }
        shutdown(fd_, SHUT_WR);
        char ignored[4096];
        while (await(POLLIN, deadline) && recv(fd_, ignored, sizeof ignored, 0) > 0) {
        }
    }
    disconnect();
    relp_.close();
}

void SyslogSender::enqueue(std::string record) {
    queuedBytes_ += record.size();
    queue_.push_back(std::move(record));
    // The oldest make room, but never one a stream is in the middle of.
    while (queuedBytes_ > endpoint_.queueBytes && queue_.size() > pinned_) {
        const auto oldest = queue_.begin() + static_cast<ptrdiff_t>(pinned_);
        queuedBytes_ -= oldest->size();
        queue_.erase(oldest);
        ++dropped_;
    }
}

// After a send failed with `error` (not EINTR): the records wait when the
// socket is only full; otherwise the collector went away, and a new
// connection is made later.
void SyslogSender::sendFailed(int error) {
    if (error == EAGAIN || error == ENOBUFS) return;
    disconnect();
    backOff();
}

bool SyslogSender::sendQueued() {
    if (endpoint_.transport == SyslogTransport::kRelp) return sendRelp();
    if (stream_) {
        while (!queue_.empty())
            if (!sendGathered()) return false;
        return true;
    }
    while (!queue_.empty()) {
        const std::string &front = queue_.front();
        if (::send(fd_, front.data(), front.size(), MSG_NOSIGNAL) < 0) {
            if (errno == EINTR) continue;
            if (errno != EMSGSIZE) {
                sendFailed(errno);
                return false;
            }
            ++dropped_;  // no datagram can carry it
        }
        queuedBytes_ -= front.size();
        queue_.pop_front();
    }
    return true;
}

bool SyslogSender::sendRelp() {
    const QuietPipe quiet;
    while (!queue_.empty()) {
        const std::string &front = queue_.front();
        if (!relp_.send(front.data(), front.size())) {
            backOff();  // the next attempt makes the session again
            return false;
        }
        queuedBytes_ -= front.size();
        queue_.pop_front();
    }
    return true;
}

ssize_t SyslogSender::sendBytes(const char *data, size_t size) {
    if (endpoint_.transport == SyslogTransport::kTls) return tls_.send(data, size);
    return ::send(fd_, data, size, MSG_NOSIGNAL);
}

bool SyslogSender::sendGathered() {
    gathered_.clear();
    gatheredEnds_.clear();
    // TLS sends one of its records at a time: no more is gathered for it.
    const size_t most =
        endpoint_.transport == SyslogTransport::kTls ? TlsSession::kMostPerSend : kGatherBytes;
    for (const std::string &record : queue_) {
        if (!gatheredEnds_.empty() && gathered_.size() + record.size() > most) break;
        framing_.assign(record);
        frame(endpoint_.framing, framing_);
        gathered_ += framing_;
        gatheredEnds_.push_back(gathered_.size());
    }
    const std::string_view bytes = std::string_view(gathered_).substr(frontSent_);
    const ssize_t n = sendBytes(bytes.data(), bytes.size());
    if (n < 0) {
        if (errno == EINTR) return true;  // the caller's loop tries again
        if (tls_.pending()) {
            // TLS holds the bytes it took: their records stay until they go.
            const size_t held = frontSent_ + std::min(bytes.size(), TlsSession::kMostPerSend);
            pinned_ = static_cast<size_t>(
                std::lower_bound(gatheredEnds_.begin(), gatheredEnds_.end(), held) -
                gatheredEnds_.begin() + 1);
            pinned_ = std::min(pinned_, gatheredEnds_.size());
        }
        sendFailed(errno);
        return false;
    }
    // The records the send took whole leave the queue; the next one's
    // bytes sent so far are remembered.
    const size_t sent = frontSent_ + static_cast<size_t>(n);
    size_t start = 0;
    for (const size_t end : gatheredEnds_) {
        if (end > sent) {  // part taken: the rest waits if the socket is full
            frontSent_ = sent - start;
            pinned_ = frontSent_ > 0 ? 1 : 0;
            return endpoint_.transport == SyslogTransport::kTls &&
                   static_cast<size_t>(n) == std::min(bytes.size(), TlsSession::kMostPerSend);
        }
        queuedBytes_ -= queue_.front().size();
        queue_.pop_front();
        start = end;
    }
    frontSent_ = 0;
    pinned_ = 0;
    return true;
}

}  // namespace kvl::net

/*
 * TLS for the syslog sender: a GnuTLS client session over a connected,
 * non-blocking TCP socket, the peer's certificate checked against the CA
 * file given (the system's trust store when none is) and against the host
 * name the sender connected to, and a client certificate when one is given.
 *
 * The session never blocks past the deadline it is given to open, and
 * never blocks at all to send: a send the socket cannot take now returns
 * EAGAIN, and GnuTLS then holds the bytes it has already encrypted, so the
 * next send resumes them before it takes anything new (the sender keeps
 * the records those bytes came from until they have gone). Kept apart so
 * the sender knows nothing of GnuTLS. C++ only.
 */
#ifndef KVL_SYSLOG_TLS_H
#define KVL_SYSLOG_TLS_H

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace kvl::net {

struct TlsSettings {
    std::string caFile;   /* empty: the system's trust store */
    std::string certFile; /* with keyFile: the client's certificate */
    std::string keyFile;
    bool verifyPeer = true;
    bool operator==(const TlsSettings &) const = default;
};

class TlsSession {
public:
    /* The most one send takes: one TLS record's plaintext. */
    static constexpr size_t kMostPerSend = 16384;

    TlsSession() = default;
    ~TlsSession() { close(); }
    TlsSession(const TlsSession &) = delete;
    TlsSession &operator=(const TlsSession &) = delete;

    /* Makes the handshake over `fd` (left open by the session) with the
     * collector `host` by `deadline`; "" when done, else why it failed. */
    std::string open(int fd, const std::string &host, const TlsSettings &settings,
                     std::chrono::steady_clock::time_point deadline);
    /* Like send(2) on the socket: the bytes taken (at most kMostPerSend),
     * or -1 with errno EAGAIN when the socket takes no more now (the call
     * after it must start with the same bytes) or another error when the
     * session is over. */
    ssize_t send(const char *data, size_t size);
    /* Whether a send left encrypted bytes waiting for the socket. */
    bool pending() const { return pending_; }
    /* Tells the collector the session ends (its close_notify); false
     * while the socket cannot take that yet. True without a session. */
    bool end();
    void close();

private:
    struct Handles;
    Handles *handles_ = nullptr;
    bool pending_ = false;
};

}  // namespace kvl::net

#endif /* KVL_SYSLOG_TLS_H */

/*
 * RELP for the syslog sender: a librelp client, which numbers each record,
 * keeps it until the collector acknowledges it and, when the session broke
 * and is made again, sends again whatever was not acknowledged. So a
 * collector that restarts loses nothing the client had taken; what it may
 * do is get a record twice, one it had written but not yet acknowledged.
 *
 * librelp blocks: a connect waits up to its timeout (whole seconds), and a
 * send waits for acknowledgements while its window of unacknowledged
 * records is full. Behind an asynchronous handler that is off the caller's
 * thread. Kept apart so the sender knows nothing of librelp. C++ only.
 */
#ifndef KVL_SYSLOG_RELP_H
#define KVL_SYSLOG_RELP_H

#include <signal.h>

#include <cstddef>
#include <string>

namespace kvl::net {

/* librelp writes to its socket without asking the kernel to keep SIGPIPE
 * to itself, so while it works a broken connection must not end the
 * program: for its lifetime SIGPIPE is blocked in this thread, and one
 * raised meanwhile is taken back. Held around the client's calls. */
class QuietPipe {
public:
    QuietPipe();
    ~QuietPipe();
    QuietPipe(const QuietPipe &) = delete;
    QuietPipe &operator=(const QuietPipe &) = delete;

private:
    sigset_t pipe_{}, saved_{};
    bool wasPending_ = false;
};

class RelpClient {
public:
    RelpClient() = default;
    ~RelpClient() { close(); }
    RelpClient(const RelpClient &) = delete;
    RelpClient &operator=(const RelpClient &) = delete;

    /* Opens a session with the collector, or after a broken one opens it
     * again and sends what it had not acknowledged; "" when open, else
     * why not. */
    std::string connect(const std::string &host, int port, int timeoutMs);
    /* True when the client took the record; false when the session broke
     * before it did (the record is the caller's still). Under a QuietPipe. */
    bool send(const char *data, size_t size);
    bool connected() const { return connected_; }
    /* Ends the session (waiting for the acknowledgements, up to the
     * timeout) and forgets it. */
    void close();

private:
    struct Handles;
    Handles *handles_ = nullptr;
    bool connected_ = false;
};

}  // namespace kvl::net

#endif /* KVL_SYSLOG_RELP_H */

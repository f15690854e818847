// RELP for the syslog sender (see KvlSyslogRelp.h).

#include "KvlSyslogRelp.h"

#include <pthread.h>
#include <signal.h>

#include <ctime>

extern "C" {  // the library's header does not say it is C
#include <librelp.h>
}

namespace kvl::net {

struct RelpClient::Handles {
    relpEngine_t *engine = nullptr;
    relpClt_t *client = nullptr;
    bool sessionMade = false;  // a session was open once: connect again, keeping the unacknowledged
    ~Handles() {
        if (client != nullptr) relpEngineCltDestruct(engine, &client);
        if (engine != nullptr) relpEngineDestruct(&engine);
    }
};

namespace {

// librelp calls its debug printer unconditionally; the toolkit has nothing
// to say through it.
void noDebug(char *, ...) {}

auto *bytes(const char *text) {
    return reinterpret_cast<unsigned char *>(const_cast<char *>(text));
}

}  // namespace

QuietPipe::QuietPipe() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
}

QuietPipe::~QuietPipe() {
    sigset_t pending;
    if (!wasPending_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
        const timespec now{};
        sigtimedwait(&pipe_, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

std::string RelpClient::connect(const std::string &host, int port, int timeoutMs) {
    const QuietPipe quiet;
    if (handles_ != nullptr && handles_->sessionMade) {
        connected_ = relpCltReconnect(handles_->client) == RELP_RET_OK;
        return connected_ ? "" : "the session could not be made again";
    }
    close();
    handles_ = new Handles;
    Handles &h = *handles_;
    const int seconds = timeoutMs <= 0 ? 1 : (timeoutMs + 999) / 1000;
    if (relpEngineConstruct(&h.engine) != RELP_RET_OK ||
        relpEngineSetDbgprint(h.engine, noDebug) != RELP_RET_OK ||
        relpEngineSetEnableCmd(h.engine, bytes("syslog"), eRelpCmdState_Required) != RELP_RET_OK ||
        relpEngineCltConstruct(h.engine, &h.client) != RELP_RET_OK ||
        relpCltSetTimeout(h.client, static_cast<unsigned>(seconds)) != RELP_RET_OK ||
        relpCltSetConnTimeout(h.client, seconds) != RELP_RET_OK)
        return "the RELP client could not be set up";
    const std::string service = std::to_string(port);
    if (relpCltConnect(h.client, 0, bytes(service.c_str()), bytes(host.c_str())) != RELP_RET_OK)
        return "the collector did not open a RELP session";
    h.sessionMade = true;
    connected_ = true;
    return "";
}

bool RelpClient::send(const char *data, size_t size) {
    if (!connected_) return false;
    connected_ = relpCltSendSyslog(handles_->client, bytes(data), size) == RELP_RET_OK;
    return connected_;
}

void RelpClient::close() {
    const QuietPipe quiet;
    delete handles_;
    handles_ = nullptr;
    connected_ = false;
}

}  // namespace kvl::net

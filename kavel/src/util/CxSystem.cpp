// Clock, host name and the internal trace.
//
// The host name is qualified with getaddrinfo(AI_CANONNAME), which is
// thread-safe, rather than gethostbyname. The name and the look-up are
// replaceable so tests do not depend on this machine's network set-up.
//
// A look-up can wait on the name service for seconds, and the agent makes a
// dozen loggers that each want the name, so the remembered form asks once
// per process and repeats that answer, failure included; replacing the
// services forgets it. A resolver that does not answer would hold every
// program that logs (an installer among them) for the resolver's full
// timeouts, ten seconds with the C library's defaults: the look-up runs on
// a thread of its own and is waited for at most a second, after which the
// plain host name stands and the thread finishes unwaited for. (The C
// library's getaddrinfo_a would do the same, but its thread is invisible
// to the thread sanitizer, which then crashes in it.)

#include <netdb.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "CxProcess.h"
#include "kavel_ext.h"

namespace {

int platformHostName(char *buffer, size_t size) {
    if (gethostname(buffer, size) != 0) return -1;
    // A name that filled the buffer may have been cut: not a name.
    return std::memchr(buffer, '\0', size) != nullptr ? 0 : -1;
}

constexpr auto kResolveWait = std::chrono::seconds(1);

// What the look-up thread and the waiting caller share; whichever of them
// finishes last frees it.
struct Resolution {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::string name;
    std::string canonical;  // empty: not found
};

void resolveInto(const std::shared_ptr<Resolution> &lookup) {
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo *answer = nullptr;
    std::string canonical;
    if (getaddrinfo(lookup->name.c_str(), nullptr, &hints, &answer) == 0 && answer != nullptr &&
        answer->ai_canonname != nullptr)
        canonical = answer->ai_canonname;
    if (answer != nullptr) freeaddrinfo(answer);
    std::lock_guard<std::mutex> hold(lookup->mutex);
    lookup->canonical = std::move(canonical);
    lookup->finished = true;
    lookup->done.notify_one();
}

bool platformResolve(const char *shortName, char *canonical, size_t size) {
    try {
        auto lookup = std::make_shared<Resolution>();
        lookup->name = shortName;
        std::thread(resolveInto, lookup).detach();
        std::unique_lock<std::mutex> hold(lookup->mutex);
        if (!lookup->done.wait_for(hold, kResolveWait, [&] { return lookup->finished; }))
            return false;  // the thread finishes on its own and drops its share
        if (lookup->canonical.empty() || lookup->canonical.size() >= size) return false;
        std::memcpy(canonical, lookup->canonical.c_str(), lookup->canonical.size() + 1);
        return true;
    } catch (...) {  // no thread or no memory: the plain name stands
        return false;
    }
}

int64_t platformClock() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_usec / 1000;
}

CxClockSource clockSource = platformClock;
CxHostNameSource hostNameSource = platformHostName;
CxHostResolver hostResolver = platformResolve;

struct RememberedHostName {
    std::mutex mutex;
    bool known = false;
    CxPlatformErr status{};
    std::string name;
};
RememberedHostName &rememberedHostName() {
    static RememberedHostName remembered;
    return remembered;
}

void trace(const char *prefix, const char *format, va_list args) {
    std::fprintf(stderr, "%*s%s", CX_INTERNAL_TRACE_INDENT, "", prefix);
    std::vfprintf(stderr, format, args);
    std::fflush(stderr);
}

}  // namespace

void cxSetClockSource(CxClockSource source) {
    clockSource = source != nullptr ? source : platformClock;
}

void cxSetHostNameServices(CxHostNameSource source, CxHostResolver resolver) {
    hostNameSource = source != nullptr ? source : platformHostName;
    hostResolver = resolver != nullptr ? resolver : platformResolve;
    RememberedHostName &remembered = rememberedHostName();
    std::lock_guard<std::mutex> guard(remembered.mutex);
    remembered.known = false;
}

extern "C" {

int32_t CX_INTERNAL_TRACE_INDENT = 0;

int64_t CxSystemGetTimestamp(void) { return clockSource(); }

CxPlatformErr CxSystemGetFQHostname(char *buffer, size_t size) {
    if (buffer == nullptr || size == 0) return cxPlatformFail(EINVAL);
    buffer[0] = '\0';
    if (hostNameSource(buffer, size) != 0) {
        buffer[0] = '\0';
        return cxPlatformFail(ENOSYS);
    }
    if (std::strchr(buffer, '.') != nullptr) return cxPlatformOk();
    char canonical[1025];
    if (!hostResolver(buffer, canonical, sizeof canonical)) return cxPlatformFail(ENOSYS);
    if (std::strchr(canonical, '.') != nullptr && std::strlen(canonical) < size)
        std::strcpy(buffer, canonical);
    return cxPlatformOk();
}

CxPlatformErr CxSystemGetFQHostnameOnce(char *buffer, size_t size) {
    if (buffer == nullptr || size == 0) return cxPlatformFail(EINVAL);
    RememberedHostName &remembered = rememberedHostName();
    std::lock_guard<std::mutex> guard(remembered.mutex);
    if (!remembered.known) {
        char name[1025];
        remembered.status = CxSystemGetFQHostname(name, sizeof name);
        remembered.name = name;
        remembered.known = true;
    }
    if (remembered.name.size() >= size) return cxPlatformFail(ERANGE);
    std::memcpy(buffer, remembered.name.c_str(), remembered.name.size() + 1);
    return remembered.status;
}

int kvlIntlHostName(char *buffer, size_t size) noexcept {
    return CxSystemGetFQHostnameOnce(buffer, size).kind == CX_PLATFORM_ERR_OK ? 1 : 0;
}

void cxIntlTraceEnter(const char *format, ...) {
    va_list args;
    va_start(args, format);
    trace("ENTER ", format, args);
    va_end(args);
    CX_INTERNAL_TRACE_INDENT += 3;
}

void cxIntlTraceLeave(const char *format, ...) {
    CX_INTERNAL_TRACE_INDENT -= 3;
    va_list args;
    va_start(args, format);
    trace("LEAVE ", format, args);
    va_end(args);
}

void cxIntlTracePoint(const char *format, ...) {
    va_list args;
    va_start(args, format);
    trace("... ", format, args);
    va_end(args);
}

}  // extern "C"

// The standalone trace writer.
//
// The live file is measured with fstat after a flush: a stream opened for
// appending reports position 0 until its first write, which would misjudge
// the rotation. "Thread:" prints the kernel thread id.

#include "trace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "mutex.h"

namespace {

const char *const subcomponent_strings[] = {
    "3RDPARTY", "NETWORK", "SERVICES", "START_STOP",    "CATALOG",   "LICENSING", "INVENTORY",
    "SYSTEM",   "CORE",    "MESSAGE",  "HOST5 SERVICE", "AGENT_CLI", "NONE"};
const char *const categories_strings[] = {"ERROR",   "ENTRY",  "EXIT",   "START", "STOP",
                                          "WARNING", "METHOD", "LEVEL1", "TIME",  "EVALUATE",
                                          "ASSERT",  "LEVEL2", "DETAIL", "DEBUG", "DATA",
                                          "LOOP",    "LEVEL3", "LEVEL4", "TBR"};

constexpr int kDefaultMaxSize = 1048576;
constexpr int kDefaultNumFiles = 6;

struct TraceState {
    unsigned int level = 0;
    FILE *file = nullptr;
    char *buffer = nullptr;  // 3 bytes, full buffering
    unsigned char componentLevels[TRACE_COMPONENTS] = {};
    char baseName[257] = {};
    int maxSize = kDefaultMaxSize;
    int numFiles = kDefaultNumFiles;
    int index = 0;
    bool enabled = false;
    slm_to_mutex *lock = nullptr;
};

TraceState trace;
int lockTimeout = 20;

template <size_t N>
const char *nameAt(const char *const (&names)[N], int i) {
    return i >= 0 && static_cast<size_t>(i) < N ? names[i] : "";
}

std::string liveName() { return std::string(trace.baseName) + ".log"; }

std::string copyName(int number) {
    return std::string(trace.baseName) + "-" + std::to_string(number) + ".log";
}

void closeFile() {
    if (trace.file != nullptr) {
        std::fflush(trace.file);
        std::fclose(trace.file);
        trace.file = nullptr;
    }
}

// how 2: (re)open the live file for appending; how 1: rotate. 1 when a file
// is open afterwards.
int openNextFile(int how) {
    if (how == 2) {
        closeFile();
        trace.file = std::fopen(liveName().c_str(), "a+e");
    } else if (how == 1) {
        closeFile();
        bool renamed = true;
        if (trace.numFiles > 1) {
            trace.index = trace.index < trace.numFiles - 1 ? trace.index + 1 : 1;
            const std::string copy = copyName(trace.index);
            std::remove(copy.c_str());
            if (std::rename(liveName().c_str(), copy.c_str()) != 0) {
                --trace.index;
                renamed = false;
            }
        }
        // A live file that could not be set aside is kept and appended to.
        trace.file = std::fopen(liveName().c_str(), renamed ? "w+e" : "a+e");
    } else {
        return 0;
    }
    if (trace.file == nullptr) return 0;
    if (trace.buffer != nullptr) setvbuf(trace.file, trace.buffer, _IOFBF, 3);
    return 1;
}

int init() {
    closeFile();
    deleteTOMutex(trace.lock);
    std::free(trace.buffer);
    trace = TraceState{};
    trace.buffer = static_cast<char *>(std::malloc(3));
    trace.lock = createTOMutex();
    return trace.buffer != nullptr && trace.lock != nullptr ? 0 : -1;
}

void copyBaseName(const char *baseName) {
    std::strncpy(trace.baseName, baseName, sizeof trace.baseName - 1);
    trace.baseName[sizeof trace.baseName - 1] = '\0';
}

bool takeLock() { return trace.lock != nullptr && lockMutexTimeout(trace.lock, lockTimeout) == 0; }

long liveSize() {
    if (trace.file == nullptr) return 0;
    std::fflush(trace.file);
    struct stat info {};
    return fstat(fileno(trace.file), &info) == 0 ? static_cast<long>(info.st_size) : 0;
}

void doTraceWrite(const char *file, int line, int component, int category, const char *format,
                  va_list args) {
    const time_t now = std::time(nullptr);
    char when[32] = {};
    ctime_r(&now, when);
    when[24] = '\0';  // the 24-character text without its line end
    if (!takeLock()) return;
    if (trace.file != nullptr && liveSize() >= trace.maxSize) openNextFile(1);
    if (trace.file != nullptr) {
        std::fprintf(trace.file,
                     "Time: %s ** Thread: %d ** File: %s ** Line: %d\n Component: %s - [%s]\n  ",
                     when, static_cast<int>(gettid()), file != nullptr ? file : "", line,
                     nameAt(subcomponent_strings, component), nameAt(categories_strings, category));
        std::vfprintf(trace.file, format != nullptr ? format : "", args);
        std::fputs("\n\n", trace.file);
        std::fflush(trace.file);
    }
    unlockTOMutex(trace.lock);
}

}  // namespace

void setTraceLockTimeoutForTest(int seconds) { lockTimeout = seconds; }
slm_to_mutex *traceLockForTest() { return trace.lock; }
int traceMaxSizeForTest() { return trace.maxSize; }
int traceNumFilesForTest() { return trace.numFiles; }
unsigned int traceComponentLevelForTest(unsigned int component) {
    return component < TRACE_COMPONENTS ? trace.componentLevels[component] : 0;
}

extern "C" {

int startTrace(const char *baseName) {
    if (init() != 0) return -1;
    if (baseName != nullptr) {
        copyBaseName(baseName);
        openNextFile(2);
    }
    std::memset(trace.componentLevels, 0, sizeof trace.componentLevels);
    trace.maxSize = kDefaultMaxSize;
    trace.enabled = trace.file != nullptr;
    return 0;
}

int setTraceFile(const char *baseName) {
    // Before startTrace there is no lock and nobody else writes.
    const bool locked = trace.lock != nullptr;
    if (locked && !takeLock()) return -1;
    if (baseName != nullptr) {
        copyBaseName(baseName);
        openNextFile(2);
    }
    trace.enabled = trace.file != nullptr;
    if (locked) unlockTOMutex(trace.lock);
    return 0;
}

void setTraceLevel(unsigned int level) {
    if (level < 18)
        std::memset(trace.componentLevels, static_cast<int>(level), sizeof trace.componentLevels);
    trace.level = level;
}

void setComponentTraceLevel(unsigned int component, unsigned int level) {
    if (level < 18 && component < 9)
        trace.componentLevels[component] = static_cast<unsigned char>(level);
}

void setTraceSize(int size) {
    if (size >= 65536 && size <= 16777216) trace.maxSize = size;
    if (!takeLock()) return;
    if (trace.file != nullptr && liveSize() >= trace.maxSize) openNextFile(1);
    unlockTOMutex(trace.lock);
}

void setNumFiles(int count) {
    if (count >= 1 && count <= 10) trace.numFiles = count;
    if (!takeLock()) return;
    if (trace.file != nullptr && trace.index > trace.numFiles) {
        trace.index = 0;
        openNextFile(1);
    }
    unlockTOMutex(trace.lock);
}

void traceWrite(const char *file, int line, int component, int category, const char *format, ...) {
    va_list args;
    va_start(args, format);
    doTraceWrite(file, line, component, category, format, args);
    va_end(args);
}

void outputTrace(const char *file, int line, const char *format, ...) {
    va_list args;
    va_start(args, format);
    doTraceWrite(file, line, 13, TRACE_CATEGORY_TBR, format, args);
    va_end(args);
}

void stopTrace(void) {
    if (!takeLock()) return;
    closeFile();
    trace.enabled = false;
    unlockTOMutex(trace.lock);
}

int restartTrace(void) {
    if (!takeLock()) return -1;
    int result = -1;
    if (trace.file == nullptr) {
        trace.index = 0;
        result = openNextFile(2) ? 0 : errno;
        trace.enabled = trace.file != nullptr;
    }
    unlockTOMutex(trace.lock);
    return result;
}

}  // extern "C"

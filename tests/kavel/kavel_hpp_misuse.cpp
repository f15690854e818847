// Calls of the C++ helpers that must not compile (one per CASE, each named
// by the diagnostic it must give), and the calls that must: compiled by the
// tests in tests/kavel/CMakeLists.txt, never linked.
#include <cstddef>
#include <string>
#include <string_view>

#include "kavel.hpp"

void calls(KvlObject *l, const char *path, int ms, std::size_t n, std::string_view v, long long ll,
           const char *runtimeFormat) {
#if defined(FITS)
    kvl::traceMin(l, "copied %s in %d ms", path, ms);
    kvl::debugMin(l, __FILE__, __func__, __LINE__, "n=%zu v=%s ll=%lld %c", n, v, ll, 'x');
    kvl::logError(l, "cat", 1, 2, "%2$s %1$d", ms, path, kvl::prop("user", "x"), kvl::level(5000));
    kvl::logText(l, "%-*.*f|%%", 8, 2, 1.5);
    kvl::traceMax(l, runtimeFormat, path);  // known at run time: not checked
#elif defined(STRING_FOR_INTEGER)
    kvl::traceMin(l, "copied %d", path);
#elif defined(INTEGER_FOR_STRING)
    kvl::logError(l, "cat", 1, 2, "%s took %d ms", ms, path);
#elif defined(TOO_FEW_ARGUMENTS)
    kvl::debugMin(l, __FILE__, __func__, __LINE__, "copied %s in %d ms", path);
#elif defined(TOO_MANY_ARGUMENTS)
    kvl::logText(l, "copied", path);
#elif defined(UNBOUND_CONVERSION)
    kvl::traceMid(l, "at %p", path);
#elif defined(WIDE_STRING)
    kvl::traceMid(l, "at %ls", path);
#elif defined(MIXED_POSITIONS)
    kvl::logInfo(l, "cat", 1, 2, "%1$s %d", path, ms);
#elif defined(NO_MARKER)
    struct Point {
        int x, y;
    } point{1, 2};
    kvl::traceMin(l, "at %d", point);
#endif
    (void)l, (void)path, (void)ms, (void)n, (void)v, (void)ll, (void)runtimeFormat;
}

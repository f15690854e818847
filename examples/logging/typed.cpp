// The C++ helpers (C++17 or later): each argument's marker comes from its
// type, the list is closed for you, a disabled call costs one comparison,
// and from C++20 a literal format that does not fit its arguments does not
// compile. traceMin and its kin take the place of their call themselves.
//
//   ./typed
#include <cstddef>
#include <string>
#include <string_view>

#include <kavel.hpp>

int main() {
    if (KvlOpenToolkit(nullptr) != 1) return 1;
    KvlObject *log = KvlGetObject("example.typed", "kvl_basiclogger");
    KvlObject *console = KvlGetObject("example.console", "kvl_consolehandler");
    KvlObject *line = KvlGetObject("example.line", "kvl_zemtraceformatter");
    KvlSetObjProp(log, "level", "DEBUG_MID");
    KvlSetObjProp(console, "formatterName", "example.line");
    KvlAddListener(log, console);

    const std::string path = "/var/log/app.log";
    const std::size_t bytes = 4096;
    const std::string_view user = std::string_view("operator:x:1000").substr(0, 8);
    kvl::traceMin(log, "copied %s (%zu bytes) for %s", path, bytes, user);
    kvl::traceMax(log, "below the logger's level: never formatted %s", path);
    kvl::logWarn(log, "examplemsg", 1, 3, "EXA0003W %s is %.1f%% full", path, 93.5,
                 kvl::prop("user", user));
    // kvl::traceMin(log, "copied %d", path);   // does not compile: %d given a string

    KvlReleaseObject(line);
    KvlReleaseObject(console);
    KvlReleaseObject(log);
    KvlCloseToolkit();
    return 0;
}

// A stand-in for the zip program in capture tests. It writes its whole
// argument vector, each argument followed by a NUL byte, to the file named
// by FAKE_ZIP_LOG, then acts as FAKE_ZIP_MODE says:
//   create  writes the archive (argv[3]) and exits 0 (the default)
//   omit    writes nothing and exits 0
//   fail    writes the archive and exits 12
//   signal  writes the archive and kills itself with SIGKILL
// A compiled program, because the capture passes " " as argv[0], which a
// script interpreter would not show.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
    if (const char *log = std::getenv("FAKE_ZIP_LOG")) {
        if (FILE *file = std::fopen(log, "wb")) {
            for (int i = 0; i < argc; ++i)
                std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, file);
            std::fclose(file);
        }
    }
    const char *mode = std::getenv("FAKE_ZIP_MODE");
    const std::string action = mode != nullptr ? mode : "create";
    if (action != "omit" && argc > 3) {
        if (FILE *archive = std::fopen(argv[3], "wb")) {
            std::fputs("fake archive\n", archive);
            std::fclose(archive);
        }
    }
    if (action == "fail") return 12;
    if (action == "signal") raise(SIGKILL);
    return 0;
}

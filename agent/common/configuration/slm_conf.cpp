// The agent's configuration.
//
// TEMPORARY STAND-IN: a minimal implementation to be replaced by the real
// reader. It knows no file: loadConfFile answers "file not found" (-1) and no
// key has a value, so callers take their fallback paths.

#include "slm_conf.h"

namespace {
bool confInitDone = false;
}

extern "C" {

int slm_conf_init(const char *) {
    confInitDone = true;
    return 1;
}

int loadConfFile(const char *, int, int) { return confInitDone ? -1 : -2; }

int getConfigurationValue(int key, char *buffer, int length) {
    if (!confInitDone) return -2;
    if (key < 0 || key >= SLM_CONF_KEY_COUNT) return -4;
    if (buffer != nullptr && length > 0) buffer[0] = '\0';
    return -6;
}

}  // extern "C"

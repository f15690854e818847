// Message catalogs.
//
// TEMPORARY STAND-IN: the catalog reader is not built yet. With these final
// signatures no catalog ever opens, so every message keeps its built-in
// default text; the toolkit's binding works unchanged when the reader
// replaces this module.

#include "zil.h"

extern "C" {

zil_catd zil_catopen(const char *, int, const char *) { return nullptr; }

const char *zil_catgets(zil_catd, int, int, const char *defaultText, uc_ch_t *) {
    return defaultText;
}

int zil_catclose(zil_catd) { return -1; }

int zil_catclose_fully(zil_catd) { return -1; }

}  // extern "C"

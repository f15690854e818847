// The library's internal interface: state shared by its modules, and the
// hooks its tests use.
#ifndef ZIL_INTERNAL_H
#define ZIL_INTERNAL_H

#include <cstddef>
#include <string>

#include "zil.h"

namespace zil {

// The handle a conversion uses: the given one, or the default codeset
// (initialising the library first when needed).
uc_ch_t *resolveHandle(uc_ch_t *handle);

// Normalises a codeset name: upper case, "DOS"/"WIN"/"OS" to the operating
// system's codeset, a leading "NUV" dropped, only letters and digits kept.
// 0, or 1 for a size of 0.
int normalizeName(const char *name, char *output, size_t size);

// Where the operating system's codeset name comes from (nl_langinfo by
// default); tests substitute their own. Null restores the default.
using LanginfoSource = const char *(*)();
void setLanginfoSource(LanginfoSource source);

// Whether the platform accepts a locale name for a category (setlocale by
// default, which also sets it); tests substitute their own. Null restores.
using LocaleAcceptor = bool (*)(int category, const char *name);
void setLocaleAcceptor(LocaleAcceptor accepts);

// The codeset of the operating system's locale, as zil_init found it.
uc_ch_t *osLocaleHandle();

// The data directory the build was configured to install into (holding
// generic/codeset/ and nls/), searched after every other place; empty when
// the build has none.
std::string installedDataDir();

}  // namespace zil

#endif  // ZIL_INTERNAL_H

// The properties file reader.
//
// TEMPORARY STAND-IN: the reader is not built yet; every file fails to
// read, so opening the toolkit with a file reports KVL0051E and closes it
// again, as it will for a file that cannot be read.

#include "KvlObject.h"

extern "C" {

int KvlLogMgrReadProps(const char *) noexcept { return 0; }

}  // extern "C"

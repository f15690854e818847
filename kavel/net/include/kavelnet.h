/**
 * @file
 * The toolkit's network classes (library kavelnet).
 *
 * "kvl_sysloghandler" sends each record to a syslog collector: the host's
 * ("/dev/log"), or a site's over UDP or TCP. Its records are RFC 5424 (or
 * RFC 3164) messages made by its own "kvl_syslogformatter". Behind an
 * asynchronous handler ("kvl_asynchandler") the network is off the
 * caller's thread and what waits survives the process.
 */
#ifndef KAVELNET_H
#define KAVELNET_H

#include "kavel.h"

#ifdef __cplusplus
extern "C" {
#endif
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

/** Adds "kvl_sysloghandler" and "kvl_syslogformatter" to the toolkit's
 * classes (takes the API mutex). Closing the toolkit forgets every class:
 * call it again after each open that wants them; a second call while they
 * are known does nothing. */
void KvlInitNetExtensions(void) KVL_NOEXCEPT;

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
#ifdef __cplusplus
}
#endif

#endif /* KAVELNET_H */

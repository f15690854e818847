/*
 * Message identifiers: the "KVLFF0010E" at the start of a message text (a
 * prefix of three to six letters, two to six digits, a severity letter I, W
 * or E), recognised by the layout it follows.
 */
#ifndef CX_ZMSID_H
#define CX_ZMSID_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct CxZMSID {
    const char *format; /* layout name such as "NUV5.4.1"; null: no identifier */
    int32_t version;    /* the layout's digits (541); 0 when none */
    int32_t length;     /* characters of the identifier (7 to 10); 0 when none */
    char id[11];
    char severity;
} CxZMSID;

/* The identifier at the start of `text` (only the first ten characters are
 * looked at); the empty record when there is none. */
CxZMSID CxParseZMSID(const char *text);
/* A copy of the identifier at the start of `text` (free with
 * OxsMemoryFree), or null. */
char *kvlPDXMLGetMessageID(const char *text);

#ifdef __cplusplus
}
#endif

#endif /* CX_ZMSID_H */

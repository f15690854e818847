/*
 * The result record of the runtime layer's fallible operations: success, or
 * the operating system's error number. Returned by value.
 */
#ifndef CX_PLATFORM_ERR_H
#define CX_PLATFORM_ERR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CX_PLATFORM_ERR_OK '-'       /* success */
#define CX_PLATFORM_ERR_PLATFORM 'p' /* code holds an error number */

typedef struct CxPlatformErr {
    char kind;
    int32_t code; /* 0 on success */
} CxPlatformErr;

#ifdef __cplusplus
}

inline CxPlatformErr cxPlatformOk() { return CxPlatformErr{CX_PLATFORM_ERR_OK, 0}; }
inline CxPlatformErr cxPlatformFail(int code) {
    return CxPlatformErr{CX_PLATFORM_ERR_PLATFORM, code};
}
#endif

#endif /* CX_PLATFORM_ERR_H */

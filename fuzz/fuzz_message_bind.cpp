// Message binding against the printf engine: a format and string and int
// parameters, bound by KvlAprintf (which takes the usual shapes of a log
// message without the engine) and by the engine alone; the two must agree
// byte for byte, refusals included.
//
// Input: the format up to the first NUL, then parameters, each a type byte
// (even: an int from the next 4 bytes; odd: a string up to the next NUL).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CxPrintUtil.h"
#include "CxStringBuff.h"
#include "KvlMessage.h"
#include "OxsMemory.h"
#include "kavel.h"

namespace {

bool isUnsigned(uint8_t type) {
    return type == CX_PA_UINT || type == CX_PA_USHORT || type == CX_PA_ULONG ||
           type == CX_PA_ULLONG || type == CX_PA_UINTMAX || type == CX_PA_UCHAR ||
           type == CX_PA_SIZE;
}

// The engine with each parameter handed over as binding hands it: an int
// as the int type of its conversion's signedness, a string as a string.
std::string engineOnly(const char *format, const std::vector<KvlParm> &parms, bool &ok) {
    CxPrintfFormatList formats;
    CxPrintfArgList args;
    CxPrintfInitLists(&formats, &args);
    ok = CxPrintfProcessFmts(format, &formats, &args) == 0;
    for (int32_t i = 0; ok && i < args.count; ++i) {
        if (static_cast<size_t>(i) >= parms.size()) {
            ok = false;
            break;
        }
        CxPrintfArg &arg = args.entries[i];
        if (parms[i].type == KVL_ARG_INT) {
            arg.type = isUnsigned(arg.type) ? CX_PA_UINT : CX_PA_INT;
            arg.value.i = parms[i].value.i;
        } else {
            arg.type = CX_PA_STRING;
            arg.value.p = parms[i].value.s;
        }
    }
    std::string text;
    if (ok) {
        CxStringBuff buffer{};
        int error = 0;
        cxPrintfEmitAll(nullptr, &buffer, &formats, &args, &error);
        ok = error == 0;
        if (ok && buffer.data != nullptr) text.assign(buffer.data, buffer.length);
        CxStringBuffDiscard(&buffer);
    }
    CxPrintfFreeLists(&formats, &args);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *bytes = reinterpret_cast<const char *>(data);
    const char *end = bytes + size;
    const char *nul = static_cast<const char *>(std::memchr(bytes, '\0', size));
    if (nul == nullptr) return 0;
    const std::string format(bytes, nul);
    std::vector<std::string> texts;
    std::vector<KvlParm> parms;
    texts.reserve(size);  // the parameters point into these
    for (const char *p = nul + 1; p < end && parms.size() < 8;) {
        KvlParm parm{};
        if ((*p++ & 1) == 0) {
            if (end - p < 4) break;
            parm.type = KVL_ARG_INT;
            std::memcpy(&parm.value.i, p, 4);
            p += 4;
        } else {
            const char *stop = static_cast<const char *>(std::memchr(p, '\0', end - p));
            if (stop == nullptr) stop = end;
            texts.emplace_back(p, stop);
            parm.type = KVL_ARG_STRING;
            parm.value.s = texts.back().data();
            p = stop + (stop < end ? 1 : 0);
        }
        parms.push_back(parm);
    }
    KvlParmList *list = KvlAllocParmList();
    for (KvlParm &parm : parms)
        KvlParmListAppend(list, &parm);
    char *bound = KvlAprintf(format.c_str(), list);
    bool engineOk = false;
    const std::string expected = engineOnly(format.c_str(), parms, engineOk);
    // A bound text is a C string: compare up to a NUL the engine wrote ("%c" of 0).
    if ((bound != nullptr) != engineOk ||
        (bound != nullptr && std::strcmp(expected.c_str(), bound) != 0))
        std::abort();
    OxsMemoryFree(bound);
    KvlFreeParmList(list);
    return 0;
}

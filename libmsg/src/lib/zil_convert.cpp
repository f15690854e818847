// The public conversions: restartable, string and allocating operations,
// dispatched by the handle's family; and the two families without a table,
// UTF-8 itself (6) and the operating system's byte copy (9).

#include <cstdlib>
#include <cstring>

#include "zil_codec.h"
#include "zil_internal.h"

namespace zil {
namespace {

// Family 9 reads bytes as ISO 8859-1: each byte is its own value.
struct ByteDecoder {
    static constexpr bool kAsciiTransparent = true;
    Step decode(const uint8_t *&p, const uint8_t *, uint32_t &value) const {
        value = *p++;
        return Step::Char;
    }
};

// Family 9 writes values up to 0xFF as that byte, anything else as "?".
struct ByteEncoder {
    static constexpr bool kAsciiTransparent = true;
    uc_ch_t *handle;
    explicit ByteEncoder(uc_ch_t *h) : handle(h) {}
    bool encode(uint32_t value, uint8_t *&o, uint8_t *) const {
        if (value <= 0xFF) {
            *o++ = static_cast<uint8_t>(value);
        } else {
            *o++ = '?';
            ++handle->subst_count;
        }
        return true;
    }
};

// UTF-8 into the operating system's codeset is a plain byte copy.
int osFromUtf8(uc_ch_t *h, const uint8_t **in, const uint8_t *inEnd, uint8_t **out,
               uint8_t *outEnd) {
    if (resetOnNull(*in, h->from_state)) return ZIL_CONV_DONE;
    const size_t inputLeft = static_cast<size_t>(inEnd - *in);
    const size_t room = static_cast<size_t>(outEnd - *out);
    const size_t n = inputLeft < room ? inputLeft : room;
    std::memcpy(*out, *in, n);
    *in += n;
    *out += n;
    return n < inputLeft ? ZIL_CONV_OUTPUT_FULL : ZIL_CONV_DONE;
}

template <class In, class Out, class Fn>
int restartable(Fn fn, uc_ch_t *handle, const In **input, size_t *inputLength, Out **output,
                size_t *outputLength) {
    if (input == nullptr || output == nullptr || *output == nullptr || outputLength == nullptr)
        return ZIL_CONV_DONE;
    handle = resolveHandle(handle);
    const size_t length = inputLength != nullptr && *input != nullptr ? *inputLength : 0;
    const In *start = *input;
    Out *outStart = *output;
    const int result = fn(handle, input, *input + length, output, *output + *outputLength);
    if (start != nullptr && inputLength != nullptr)
        *inputLength -= static_cast<size_t>(*input - start);
    *outputLength -= static_cast<size_t>(*output - outStart);
    return result;
}

template <class In>
size_t measure(const In *text) {
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

// The string operations share this: reset, convert, flush (into the
// codeset), terminate.
template <class In, class Out, class Fn>
int convertString(Fn fn, bool flush, uc_ch_t *handle, const In *input, int inputLength, Out *output,
                  int outputSize, unsigned char uc_ch_t::*state) {
    if (output == nullptr || outputSize <= 0) return 0;
    handle = resolveHandle(handle);
    handle->*state = 0;
    const bool terminated = inputLength < 0;
    size_t length = input == nullptr ? 0
                    : terminated     ? measure(input)
                                     : static_cast<size_t>(inputLength);
    const size_t fullRoom = static_cast<size_t>(outputSize) - (terminated ? 1 : 0);
    const In *start = input != nullptr ? input : reinterpret_cast<const In *>("");
    const uint16_t substitutions = handle->subst_count;
    Out *o = output;
    // Converts with `reserve` units held back for the closing shift; false
    // when the shift state could not be closed in what was left.
    const auto attempt = [&](size_t reserve) {
        handle->*state = 0;
        handle->subst_count = substitutions;
        const In *p = start;
        size_t left = length;
        size_t room = fullRoom - reserve;
        o = output;
        restartable(fn, handle, &p, &left, &o, &room);
        if (!flush) return true;
        room += reserve;
        const In *none = nullptr;
        size_t zero = 0;
        return restartable(fn, handle, &none, &zero, &o, &room) == ZIL_CONV_DONE;
    };
    // A text that filled the output inside a double-byte run is converted
    // again one unit shorter, so that the result always ends in the initial
    // shift state.
    if (!attempt(0) && fullRoom > 0) attempt(1);
    if (terminated) *o++ = 0;
    return static_cast<int>(o - output);
}

int toUtf8Dispatch(uc_ch_t *h, const uint8_t **in, const uint8_t *end, uint8_t **out,
                   uint8_t *outEnd) {
    return familyOps(h->kind).toUtf8(h, in, end, out, outEnd);
}
int fromUtf8Dispatch(uc_ch_t *h, const uint8_t **in, const uint8_t *end, uint8_t **out,
                     uint8_t *outEnd) {
    return familyOps(h->kind).fromUtf8(h, in, end, out, outEnd);
}
int toUcs2Dispatch(uc_ch_t *h, const uint8_t **in, const uint8_t *end, uint16_t **out,
                   uint16_t *outEnd) {
    return familyOps(h->kind).toUcs2(h, in, end, out, outEnd);
}
int fromUcs2Dispatch(uc_ch_t *h, const uint16_t **in, const uint16_t *end, uint8_t **out,
                     uint8_t *outEnd) {
    return familyOps(h->kind).fromUcs2(h, in, end, out, outEnd);
}

const uint8_t **bytes(const char **p) { return reinterpret_cast<const uint8_t **>(p); }
uint8_t **bytes(char **p) { return reinterpret_cast<uint8_t **>(p); }

template <class Convert>
char *allocating(Convert convert, int factor, const char *input, int inputLength,
                 int *resultLength) {
    if (resultLength != nullptr) *resultLength = 0;
    const size_t length = input == nullptr  ? 0
                          : inputLength < 0 ? std::strlen(input)
                                            : static_cast<size_t>(inputLength);
    const size_t size = static_cast<size_t>(factor) * length + 1;
    if (size > static_cast<size_t>(INT32_MAX)) return nullptr;
    auto *buffer = static_cast<char *>(std::malloc(size));
    if (buffer == nullptr) return nullptr;
    const int written = convert(buffer, static_cast<int>(size));
    if (inputLength >= 0) buffer[written] = '\0';  // room is left: the result never fills it
    if (resultLength != nullptr) *resultLength = written;
    return buffer;
}

}  // namespace

constexpr auto to = &uc_ch_t::to_state;
constexpr auto from = &uc_ch_t::from_state;

// UTF-8 has no state; its functions reset to_state, which stays 0.
const FamilyOps kUtf8Ops = {
    convertWith<Utf8Decoder, Utf8Encoder, to>, convertWith<Utf8Decoder, Utf8Encoder, to>,
    convertWith<Utf8Decoder, Ucs2Encoder, to>, convertWith<Ucs2PairDecoder, Utf8Encoder, to>};
const FamilyOps kOsOps = {convertWith<ByteDecoder, Utf8Encoder, to>, osFromUtf8,
                          convertWith<ByteDecoder, Ucs2Encoder, to>,
                          convertWith<Ucs2UnitDecoder, ByteEncoder, from>};

const FamilyOps &familyOps(uint16_t kind) {
    switch (kind) {
        case ZIL_KIND_ASCII_SBCS:
            return kAsciiSbcsOps;
        case ZIL_KIND_ASCII_DBCS:
            return kAsciiDbcsOps;
        case ZIL_KIND_EBCDIC_DBCS:
            return kEbcdicDbcsOps;
        case ZIL_KIND_GB18030:
            return kGb18030Ops;
        case ZIL_KIND_ASCII_MBCS:
            return kAsciiMbcsOps;
        case ZIL_KIND_UTF8:
            return kUtf8Ops;
        case ZIL_KIND_EBCDIC_SBCS:
            return kEbcdicSbcsOps;
        default:
            return kOsOps;
    }
}

}  // namespace zil

using namespace zil;

extern "C" {

int zil_to_utf8_r(uc_ch_t *handle, const char **input, size_t *inputLength, char **output,
                  size_t *outputLength) {
    return restartable(toUtf8Dispatch, handle, bytes(input), inputLength, bytes(output),
                       outputLength);
}

int zil_from_utf8_r(uc_ch_t *handle, const char **input, size_t *inputLength, char **output,
                    size_t *outputLength) {
    return restartable(fromUtf8Dispatch, handle, bytes(input), inputLength, bytes(output),
                       outputLength);
}

int zil_to_ucs2_r(uc_ch_t *handle, const char **input, size_t *inputLength, zil_ucs2_t **output,
                  size_t *outputLength) {
    return restartable(toUcs2Dispatch, handle, bytes(input), inputLength, output, outputLength);
}

int zil_from_ucs2_r(uc_ch_t *handle, const zil_ucs2_t **input, size_t *inputLength, char **output,
                    size_t *outputLength) {
    return restartable(fromUcs2Dispatch, handle, input, inputLength, bytes(output), outputLength);
}

int zil_to_utf8(uc_ch_t *handle, const char *input, int inputLength, char *output, int outputSize,
                void *) {
    return convertString(toUtf8Dispatch, false, handle, reinterpret_cast<const uint8_t *>(input),
                         inputLength, reinterpret_cast<uint8_t *>(output), outputSize,
                         &uc_ch_t::to_state);
}

int zil_from_utf8(uc_ch_t *handle, const char *input, int inputLength, char *output, int outputSize,
                  void *) {
    return convertString(fromUtf8Dispatch, true, handle, reinterpret_cast<const uint8_t *>(input),
                         inputLength, reinterpret_cast<uint8_t *>(output), outputSize,
                         &uc_ch_t::from_state);
}

int zil_to_ucs2(uc_ch_t *handle, const char *input, int inputLength, zil_ucs2_t *output,
                int outputSize, void *) {
    return convertString(toUcs2Dispatch, false, handle, reinterpret_cast<const uint8_t *>(input),
                         inputLength, output, outputSize, &uc_ch_t::to_state);
}

int zil_from_ucs2(uc_ch_t *handle, const zil_ucs2_t *input, int inputLength, char *output,
                  int outputSize, void *) {
    return convertString(fromUcs2Dispatch, true, handle, input, inputLength,
                         reinterpret_cast<uint8_t *>(output), outputSize, &uc_ch_t::from_state);
}

char *zil_tou_alloc(uc_ch_t *handle, const char *input, int inputLength, int *resultLength) {
    return allocating(
        [&](char *buffer, int size) {
            return zil_to_utf8(handle, input, inputLength, buffer, size, nullptr);
        },
        3, input, inputLength, resultLength);
}

char *zil_fromu_alloc(uc_ch_t *handle, const char *input, int inputLength, int *resultLength) {
    return allocating(
        [&](char *buffer, int size) {
            return zil_from_utf8(handle, input, inputLength, buffer, size, nullptr);
        },
        2, input, inputLength, resultLength);
}

}  // extern "C"

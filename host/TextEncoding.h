#pragma once

// UTF-8 checks and base64 for names and credentials, where any byte string is
// possible. Header-only so that the simulator, which does not link the host
// library, uses the same rules.

#include <cstddef>
#include <string>
#include <string_view>

namespace afs_utf8 {

// Length of the well-formed UTF-8 sequence at `p` (at most `uLeft` bytes), or
// 0 when the bytes there are not one: a stray continuation byte, an overlong
// form, a surrogate, a code point above U+10FFFF or a cut-off sequence.
inline size_t SequenceLength(const unsigned char* p, size_t uLeft) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    size_t uLength = 0;
    unsigned char lowest = 0x80;
    unsigned char highest = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        uLength = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        uLength = 3;
        if (c == 0xE0) lowest = 0xA0;   // overlong
        if (c == 0xED) highest = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        uLength = 4;
        if (c == 0xF0) lowest = 0x90;   // overlong
        if (c == 0xF4) highest = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (uLeft < uLength || p[1] < lowest || p[1] > highest) return 0;
    for (size_t i = 2; i < uLength; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    }
    return uLength;
}

inline bool IsValid(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const size_t uLength = SequenceLength(p + i, text.size() - i);
        if (uLength == 0) return false;
        i += uLength;
    }
    return true;
}

// Base64 (RFC 4648, with padding) of `bytes`.
inline std::string Base64(std::string_view bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned value = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            value |= static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(value >> 18) & 63];
        out += kAlphabet[(value >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(value >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[value & 63] : '=';
    }
    return out;
}

}  // namespace afs_utf8

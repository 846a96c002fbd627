#include "tools/afs-sim/JsonText.h"

#include <charconv>  // std::to_chars: no locale, no allocation

namespace afs_sim {
namespace {

// Length of the valid UTF-8 sequence at `p`, or 0 when it is not one.
size_t Utf8SequenceLength(const unsigned char* p, size_t uLeft) {
    unsigned char c = p[0];
    size_t uLength;
    uint32_t uMin;
    uint32_t uCode;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) {
        uLength = 2;
        uMin = 0x80;
        uCode = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        uLength = 3;
        uMin = 0x800;
        uCode = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        uLength = 4;
        uMin = 0x10000;
        uCode = c & 0x07;
    } else
        return 0;
    if (uLeft < uLength) return 0;
    for (size_t i = 1; i < uLength; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        uCode = (uCode << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if (uCode < uMin || uCode > 0x10FFFF || (uCode >= 0xD800 && uCode <= 0xDFFF)) return 0;
    return uLength;
}

}  // namespace

void AppendJsonString(std::string& strOut, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    strOut.push_back('"');
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t uSize = text.size();
    size_t i = 0;
    while (i < uSize) {
        unsigned char c = p[i];
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            // Copy the longest run of plain ASCII at once; this is the hot path.
            size_t uStart = i;
            while (i < uSize && p[i] >= 0x20 && p[i] < 0x80 && p[i] != '"' && p[i] != '\\') ++i;
            strOut.append(text.data() + uStart, i - uStart);
            continue;
        }
        switch (c) {
            case '"':
                strOut += "\\\"";
                ++i;
                continue;
            case '\\':
                strOut += "\\\\";
                ++i;
                continue;
            case '\n':
                strOut += "\\n";
                ++i;
                continue;
            case '\t':
                strOut += "\\t";
                ++i;
                continue;
            case '\r':
                strOut += "\\r";
                ++i;
                continue;
            default:
                break;
        }
        if (c < 0x20) {
            strOut += "\\u00";
            strOut.push_back(kHex[c >> 4]);
            strOut.push_back(kHex[c & 0xF]);
            ++i;
            continue;
        }
        size_t uLength = Utf8SequenceLength(p + i, uSize - i);
        if (uLength == 0) {
            strOut += "\xEF\xBF\xBD";
            ++i;
        } else {
            strOut.append(text.data() + i, uLength);
            i += uLength;
        }
    }
    strOut.push_back('"');
}

void AppendJsonInt(std::string& strOut, int64_t llValue) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), llValue);
    strOut.append(buffer, static_cast<size_t>(result.ptr - buffer));
}

size_t SkipJsonValue(std::string_view text, size_t uPos) {
    while (uPos < text.size() &&
           (text[uPos] == ' ' || text[uPos] == '\n' || text[uPos] == '\t' || text[uPos] == '\r'))
        ++uPos;
    if (uPos >= text.size()) return std::string::npos;
    int nDepth = 0;
    bool bInString = false;
    for (size_t i = uPos; i < text.size(); ++i) {
        char c = text[i];
        if (bInString) {
            if (c == '\\')
                ++i;
            else if (c == '"') {
                bInString = false;
                if (nDepth == 0) return i + 1;
            }
            continue;
        }
        if (c == '"')
            bInString = true;
        else if (c == '{' || c == '[')
            ++nDepth;
        else if (c == '}' || c == ']') {
            if (nDepth == 0) return i;  // end of a scalar just before a closing bracket
            if (--nDepth == 0) return i + 1;
        } else if (nDepth == 0 && (c == ',' || c == ' ' || c == '\n')) {
            return i;
        }
    }
    return nDepth == 0 && !bInString ? text.size() : std::string::npos;
}

std::string ErrorBody(int nStatus, std::string_view strMessage, std::string_view strReason) {
    std::string strBody = "{\"state\":\"ERROR\",\"code\":";
    AppendJsonInt(strBody, nStatus);
    strBody += ",\"message_list\":[{\"message\":";
    AppendJsonString(strBody, strMessage);
    strBody += ",\"reason\":";
    AppendJsonString(strBody, strReason);
    strBody += "}]}";
    return strBody;
}

}  // namespace afs_sim

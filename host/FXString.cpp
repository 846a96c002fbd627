#include "host/FXString.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

inline unsigned char FoldCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string FXString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

std::string FXString::FormatV(const char* format, va_list args) {
    char buffer[512];
    va_list copy;
    va_copy(copy, args);
    int needed = vsnprintf(buffer, sizeof(buffer), format, copy);
    va_end(copy);
    if (needed < 0) return std::string();
    if (static_cast<size_t>(needed) < sizeof(buffer)) return std::string(buffer, needed);
    std::vector<char> big(static_cast<size_t>(needed) + 1);
    vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), needed);
}

void FXString::RemoveLeft(std::string& text, const std::string& prefix) {
    if (!prefix.empty() && MatchLeft(text, prefix)) text.erase(0, prefix.size());
}

void FXString::RemoveRight(std::string& text, const std::string& suffix) {
    if (!suffix.empty() && text.size() >= suffix.size() &&
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
        text.erase(text.size() - suffix.size());
    }
}

bool FXString::ReplaceLeftNoCase(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty() || text.size() < from.size() || CompareLeftNoCase(text, from) != 0) return false;
    text.replace(0, from.size(), to);
    return true;
}

bool FXString::MatchLeft(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

int FXString::CompareLeftNoCase(const std::string& text, const std::string& prefix) {
    const size_t uLength = prefix.size();
    const size_t uComparable = std::min(uLength, text.size());
    // Bytes that are equal are equal in any case: skip them a word at a time
    // (snapshot paths share long prefixes), then fold from the first difference.
    size_t i = 0;
    while (i + sizeof(uint64_t) <= uComparable) {
        uint64_t a, b;
        std::memcpy(&a, text.data() + i, sizeof(a));
        std::memcpy(&b, prefix.data() + i, sizeof(b));
        if (a != b) break;
        i += sizeof(uint64_t);
    }
    for (; i < uLength; ++i) {
        if (i >= text.size()) return -1;
        unsigned char a = FoldCase(static_cast<unsigned char>(text[i]));
        unsigned char b = FoldCase(static_cast<unsigned char>(prefix[i]));
        if (a != b) return a < b ? -1 : 1;
    }
    return 0;
}

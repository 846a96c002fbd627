#pragma once

#include <cstdarg>
#include <string>

#include "host/HostExport.h"

// Byte-string helpers. Case-insensitive comparisons fold ASCII letters only.
class HOST_EXPORT FXString {
public:
    static std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static std::string FormatV(const char* format, va_list args);

    // Removes one leading occurrence of `prefix`, when the text begins with it.
    static void RemoveLeft(std::string& text, const std::string& prefix);
    // Removes one trailing occurrence of `suffix`, when the text ends with it.
    static void RemoveRight(std::string& text, const std::string& suffix);
    // Replaces a leading `from` (compared ignoring case) by `to`; otherwise
    // leaves the text alone. Returns whether it replaced.
    static bool ReplaceLeftNoCase(std::string& text, const std::string& from, const std::string& to);
    // Case-sensitive prefix test.
    static bool MatchLeft(const std::string& text, const std::string& prefix);
    // 0 when the first prefix.size() characters of text equal prefix ignoring
    // case; otherwise the sign of the first difference (a shorter text sorts first).
    static int CompareLeftNoCase(const std::string& text, const std::string& prefix);
};

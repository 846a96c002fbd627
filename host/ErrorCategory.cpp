#include "host/ErrorCategory.h"

#include <cctype>
#include <cstdlib>

namespace {

// The fixed texts the REST client builds its failures from; each is listed
// as stable for hosts, so a change to one is a change of the kit's ABI.
const char* const kCertificateTexts[] = {
    "SSL certificate problem: ", "SSL: no alternative certificate subject name matches",
    "SSL: certificate subject name"};
const char* const kUnreachableTexts[] = {" stayed unavailable for the high-availability wait of ",
                                         "Could not resolve host: "};
const char* const kStatusText = " failed: HTTP ";

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The status of the first " failed: HTTP NNN" in `text`: the innermost
// cause, as chains and exception texts name it first; 0 without one.
long FirstStatus(const std::string& text) {
    for (size_t at = text.find(kStatusText); at != std::string::npos; at = text.find(kStatusText, at + 1)) {
        const size_t digits = at + std::char_traits<char>::length(kStatusText);
        if (digits + 3 > text.size()) break;
        bool bThreeDigits = true;
        for (size_t i = digits; i < digits + 3; ++i)
            bThreeDigits = bThreeDigits && std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (bThreeDigits &&
            (digits + 3 == text.size() || !std::isdigit(static_cast<unsigned char>(text[digits + 3]))))
            return std::strtol(text.substr(digits, 3).c_str(), nullptr, 10);
    }
    return 0;
}

}  // namespace

EErrorCategory ClassifyError(const CRhError& error) {
    if (!error.IsError()) return eCategoryNone;
    const EErrorCategory category = ClassifyError(error.AsString());
    return category == eCategoryNone ? eCategoryOther : category;
}

EErrorCategory ClassifyError(const std::string& text) {
    if (text.empty()) return eCategoryNone;
    for (const char* part : kCertificateTexts)
        if (Contains(text, part)) return eCategoryCertificate;
    for (const char* part : kUnreachableTexts)
        if (Contains(text, part)) return eCategoryUnreachable;
    const long status = FirstStatus(text);
    if (status == 401) return eCategoryAuthentication;
    if (status == 404) return eCategoryNotFound;
    if (status >= 400 && status < 500) return eCategoryRefused;
    return eCategoryOther;
}

const char* ErrorCategoryName(EErrorCategory category) {
    switch (category) {
        case eCategoryNone:
            return "none";
        case eCategoryAuthentication:
            return "authentication";
        case eCategoryCertificate:
            return "certificate";
        case eCategoryUnreachable:
            return "unreachable";
        case eCategoryNotFound:
            return "not found";
        case eCategoryRefused:
            return "refused";
        case eCategoryOther:
            break;
    }
    return "other";
}

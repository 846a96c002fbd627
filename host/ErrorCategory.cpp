#include "host/ErrorCategory.h"

#include <cctype>
#include <cstdlib>

#include "restclient/RestOperations.h"

namespace {

// The fixed texts the REST client builds its failures from; each is listed
// as stable for hosts, so a change to one is a change of the kit's ABI. They
// count only where the client writes them: in its message "OPERATION failed:
// ...", never in a share path or file name a chain also carries.
const char* const kFailed = " failed: ";
const char* const kCertificateTexts[] = {
    "SSL certificate problem: ", "SSL: no alternative certificate subject name matches",
    "SSL: certificate subject name"};
const char* const kResolveText = "Could not resolve host: ";
const char* const kWaitText = "the file server stayed unavailable for the high-availability wait of ";
const char* const kStatusText = "HTTP ";

size_t Length(const char* text) { return std::char_traits<char>::length(text); }

bool StartsWith(const std::string& text, size_t at, const char* part) {
    return text.compare(at, Length(part), part) == 0;
}

// The status of "HTTP NNN" at `at` (three digits, then no digit), or 0.
long StatusAt(const std::string& text, size_t at) {
    if (!StartsWith(text, at, kStatusText)) return 0;
    const size_t digits = at + Length(kStatusText);
    if (digits + 3 > text.size()) return 0;
    for (size_t i = digits; i < digits + 3; ++i)
        if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) return 0;
    if (digits + 3 < text.size() && std::isdigit(static_cast<unsigned char>(text[digits + 3])) != 0) return 0;
    return std::strtol(text.substr(digits, 3).c_str(), nullptr, 10);
}

// Where the REST message at `at` goes on, past "OPERATION failed: ", or npos
// when no operation's name starts there. The name stands at the start of the
// text or after a blank or bracket, as the plug-in and the client quote it.
size_t PastOperation(const std::string& text, size_t at) {
    if (at > 0 && std::string(" [(\"").find(text[at - 1]) == std::string::npos) return std::string::npos;
    for (size_t i = 0; i < afs_rest::kRestOperationCount; ++i) {
        const char* name = afs_rest::kRestOperations[i].pszName;
        if (StartsWith(text, at, name) && StartsWith(text, at + Length(name), kFailed))
            return at + Length(name) + Length(kFailed);
    }
    return std::string::npos;
}

// The category one REST message names; eCategoryNone for a failure of the
// transport that is none of the listed ones, so that a later message may
// still decide.
EErrorCategory CategoryAt(const std::string& text, size_t cause) {
    if (StartsWith(text, cause, kWaitText)) return eCategoryUnreachable;
    const long status = StatusAt(text, cause);
    if (status == 401) return eCategoryAuthentication;
    if (status == 404) return eCategoryNotFound;
    if (status >= 400 && status < 500) return eCategoryRefused;
    if (status != 0) return eCategoryOther;
    // "OPERATION failed: URL: what libcurl said"; a URL holds no ": ".
    const size_t said = text.find(": ", cause);
    if (said == std::string::npos) return eCategoryNone;
    for (const char* part : kCertificateTexts)
        if (StartsWith(text, said + 2, part)) return eCategoryCertificate;
    return StartsWith(text, said + 2, kResolveText) ? eCategoryUnreachable : eCategoryNone;
}

// The first REST message of `text` that names a category: the innermost
// cause, as chains and exception texts name it first.
EErrorCategory CategoryOf(const std::string& text) {
    for (size_t at = 0; at < text.size(); ++at) {
        const size_t cause = PastOperation(text, at);
        if (cause == std::string::npos) continue;
        const EErrorCategory category = CategoryAt(text, cause);
        if (category != eCategoryNone) return category;
    }
    return eCategoryNone;
}

}  // namespace

EErrorCategory ClassifyError(const CRhError& error) {
    if (!error.IsError()) return eCategoryNone;
    // Entry by entry and text by text, innermost first: a text of one entry
    // never joins one of the next into a message neither holds.
    for (const CRhError::Entry& entry : error.GetEntries()) {
        EErrorCategory category = CategoryOf(entry.strMessage);
        for (size_t i = 0; category == eCategoryNone && i < entry.listParams.size(); ++i)
            category = CategoryOf(entry.listParams[i]);
        if (category != eCategoryNone) return category;
    }
    return eCategoryOther;
}

EErrorCategory ClassifyError(const std::string& text) {
    if (text.empty()) return eCategoryNone;
    const EErrorCategory category = CategoryOf(text);
    return category == eCategoryNone ? eCategoryOther : category;
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

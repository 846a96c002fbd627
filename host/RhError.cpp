#include "host/RhError.h"

#include <cstdarg>
#include <cstdio>

#include "host/FXString.h"

namespace {

std::string FormatCode(unsigned int code) { return FXString::Format("%u (0x%X)", code, code); }

std::string EntryText(const CRhError::Entry& entry) {
    std::string text = entry.strMessage;
    for (const std::string& param : entry.listParams) {
        if (!text.empty()) text += " ";
        text += param;
    }
    return text;
}

CRhError::Location ToLocation(const FXCodeLocation& location) {
    return CRhError::Location{location.strFile ? location.strFile : "",
                              location.strFunction ? location.strFunction : "", location.nLine};
}

}  // namespace

// Success is the empty chain and costs no allocation: an item loop returns
// millions of them. The chain is made when the first entry arrives.
CRhError::CRhError() = default;

CRhError::Chain& CRhError::MutableChain() {
    if (!ptrChain) ptrChain = std::make_shared<Chain>();
    return *ptrChain;
}

CRhError CRhError::Success() { return CRhError(); }

CRhError CRhError::Make(const FXCodeLocation& location, int status, unsigned int code,
                        const std::string& message) {
    CRhError error;
    error.MutableChain().nStatus = status;
    error.ptrChain->listEntries.push_back(Entry{ToLocation(location), code, message, {}});
    return error;
}

bool CRhError::IsError() const { return ptrChain && ptrChain->nStatus < 0; }

int CRhError::GetStatus() const { return ptrChain ? ptrChain->nStatus : 0; }

unsigned int CRhError::GetCode() const {
    return !ptrChain || ptrChain->listEntries.empty() ? 0 : ptrChain->listEntries.front().uCode;
}

std::string CRhError::GetMessage() const {
    return !ptrChain || ptrChain->listEntries.empty() ? std::string()
                                                      : EntryText(ptrChain->listEntries.front());
}

const std::vector<CRhError::Entry>& CRhError::GetEntries() const {
    static const std::vector<Entry> kNoEntries;
    return ptrChain ? ptrChain->listEntries : kNoEntries;
}

CRhError& CRhError::Push(const FXCodeLocation& location) {
    MutableChain().listEntries.push_back(Entry{ToLocation(location), 0, std::string(), {}});
    return *this;
}

CRhError& CRhError::Push(const FXCodeLocation& location, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string message = FXString::FormatV(format, args);
    va_end(args);
    MutableChain().listEntries.push_back(Entry{ToLocation(location), 0, message, {}});
    return *this;
}

CRhError& CRhError::operator<<(const char* text) {
    if (MutableChain().listEntries.empty()) {
        ptrChain->listEntries.push_back(Entry{CRhError::Location{}, 0, std::string(), {}});
    }
    ptrChain->listEntries.back().listParams.emplace_back(text ? text : "");
    return *this;
}

CRhError& CRhError::operator<<(const std::string& text) { return *this << text.c_str(); }

std::string CRhError::AsString() const { return AsString(eErrorOutputPlain); }

std::string CRhError::AsString(EErrorOutputFormat format) const {
    if (!IsError()) return "Success";
    std::string out;
    bool bFirst = true;
    for (const Entry& entry : ptrChain->listEntries) {
        if (format == eErrorOutputVerbose) {
            out += FXString::Format("%s%s:%d %s", bFirst ? "" : "\n", entry.location.strFile.c_str(),
                                    entry.location.nLine, entry.location.strFunction.c_str());
            if (entry.uCode != 0) out += ": error " + FormatCode(entry.uCode);
            std::string text = EntryText(entry);
            if (!text.empty()) out += ": " + text;
        } else {
            std::string text = EntryText(entry);
            if (bFirst) {
                out += text + " [error " + FormatCode(entry.uCode) + "]";
            } else {
                out += " <- ";
                out += entry.location.strFunction;
                if (!text.empty()) out += ": " + text;
            }
        }
        bFirst = false;
    }
    return out;
}

CRhError FXErrorUtil::ErrorWin32(const FXCodeLocation& location, unsigned int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string message = FXString::FormatV(format, args);
    va_end(args);
    return CRhError::Make(location, -1, code, message);
}

CRhError FXErrorUtil::ErrorInt(const FXCodeLocation& location, int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string message = FXString::FormatV(format, args);
    va_end(args);
    return CRhError::Make(location, -1, static_cast<unsigned int>(code), message);
}

CRhError FXErrorUtil::ErrorEventMessage(const FXCodeLocation& location, unsigned int eventId) {
    return CRhError::Make(location, -1, eventId, FXString::Format("event 0x%X", eventId));
}

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/HostExport.h"

// Where an error entry was made: file, full function signature, line.
struct HOST_EXPORT FXCodeLocation {
    const char* strFile;
    const char* strFunction;
    int nLine;
};

// Captures the caller's file, full signature and line.
#define FX_CODE_LOCATION (FXCodeLocation{__FILE__, __PRETTY_FUNCTION__, __LINE__})

enum EErrorOutputFormat {
    eErrorOutputPlain = 1,
    eErrorOutputVerbose = 2,  // one line per entry, with file, line and function
};

// An error chain: a status (negative: error) and the entries pushed on it from
// the innermost cause outwards. Copies of a chain that has entries share it,
// so a push through any copy is seen by all of them. Success() is the empty
// chain; it allocates nothing until something is pushed on it.
class HOST_EXPORT CRhError {
public:
    // Where an entry was made, copied: the texts of an FXCodeLocation live in
    // the module that made it, and a chain may outlive that module (a host
    // prints a plug-in's error after unloading it).
    struct Location {
        std::string strFile;
        std::string strFunction;
        int nLine = 0;
    };
    struct Entry {
        Location location;
        unsigned int uCode;  // 0 for a pushed location without a code of its own
        std::string strMessage;
        std::vector<std::string> listParams;  // texts appended with operator<<
    };

    CRhError();
    static CRhError Success();
    // A chain of one entry: where it was made, the status (negative: an
    // error), the code (1627 for the plug-in's failures) and the message.
    static CRhError Make(const FXCodeLocation& location, int status, unsigned int code,
                         const std::string& message);

    bool IsError() const;
    bool IsSuccess() const { return !IsError(); }
    int GetStatus() const;
    // The code of the innermost entry (1627, 1, ...); 0 on success.
    unsigned int GetCode() const;
    // The innermost entry's message; empty on success.
    std::string GetMessage() const;
    const std::vector<Entry>& GetEntries() const;

    // Adds an entry for the layer passing the error on: its location
    // (FX_CODE_LOCATION) and, optionally, a printf-formatted message.
    CRhError& Push(const FXCodeLocation& location);
    CRhError& Push(const FXCodeLocation& location, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    // Appends a text parameter to the newest entry; a null text appends "".
    CRhError& operator<<(const char* text);
    CRhError& operator<<(const std::string& text);

    // Plain: "message (code) <- function: message <- function ..." on one line.
    std::string AsString() const;
    // `format`: eErrorOutputPlain as above, eErrorOutputVerbose one line per entry.
    std::string AsString(EErrorOutputFormat format) const;

private:
    struct Chain {
        int nStatus = 0;
        std::vector<Entry> listEntries;
    };
    Chain& MutableChain();
    std::shared_ptr<Chain> ptrChain;  // null for a chain that never got an entry
};

// Makers of new error chains.
// Each takes where the error is made (FX_CODE_LOCATION), its code and a
// printf format with its arguments for the message.
class HOST_EXPORT FXErrorUtil {
public:
    static CRhError ErrorWin32(const FXCodeLocation& location, unsigned int code, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    static CRhError ErrorInt(const FXCodeLocation& location, int code, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    // An event chain with the event id (e.g. 0x11000095); the caller appends
    // its texts with <<.
    static CRhError ErrorEventMessage(const FXCodeLocation& location, unsigned int eventId);
};

// The code of every failure the plug-in reports.
constexpr unsigned int ERROR_INSTALL_FAILURE_CODE = 1627;

#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "host/HostExport.h"
#include "host/RhError.h"

// The host's event sender. This host records each event in the log and keeps
// its text so that tests and the reference host can read back what was sent.
class HOST_EXPORT ISendEventInterface {
public:
    static ISendEventInterface* GetInstance();

    // `event` is a chain made by FXErrorUtil::ErrorEventMessage with the
    // event's texts appended; the two numbers are reserved (pass 0).
    void SendEvent(const CRhError& event, int reserved1, int reserved2);

    // Each sent event as "0x<id>: text1 | text2 ...", oldest first.
    std::vector<std::string> GetSentEvents() const;
    void ClearSentEvents();

private:
    ISendEventInterface() = default;
    mutable std::mutex mutexEvents;
    std::vector<std::string> listEvents;
};

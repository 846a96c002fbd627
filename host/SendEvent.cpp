#include "host/SendEvent.h"

#include "host/FXString.h"
#include "host/LogWriter.h"

ISendEventInterface* ISendEventInterface::GetInstance() {
    static ISendEventInterface* ptrInstance = new ISendEventInterface();  // lives for the process
    return ptrInstance;
}

void ISendEventInterface::SendEvent(const CRhError& event, int, int) {
    std::string text = FXString::Format("0x%X:", event.GetCode());
    bool bFirst = true;
    for (const CRhError::Entry& entry : event.GetEntries()) {
        for (const std::string& param : entry.listParams) {
            text += bFirst ? " " : " | ";
            text += param;
            bFirst = false;
        }
    }
    HOST_LOG(0, "Event sent %s", text.c_str());
    std::lock_guard<std::mutex> lock(mutexEvents);
    listEvents.push_back(text);
}

std::vector<std::string> ISendEventInterface::GetSentEvents() const {
    std::lock_guard<std::mutex> lock(mutexEvents);
    return listEvents;
}

void ISendEventInterface::ClearSentEvents() {
    std::lock_guard<std::mutex> lock(mutexEvents);
    listEvents.clear();
}

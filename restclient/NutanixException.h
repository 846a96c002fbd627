#pragma once

#include <stdexcept>
#include <string>

// Every failure of the REST client: transport, HTTP status, or a body that is
// not the expected JSON. The text names the operation and, where there was a
// response, the HTTP status and the server's message; never a credential.
class NutanixException : public std::runtime_error {
public:
    explicit NutanixException(const std::string& message) : std::runtime_error(message) {}
    NutanixException(const std::string& message, long httpStatus)
        : std::runtime_error(message), lHttpStatus(httpStatus) {}
    // 0 when no HTTP response was received.
    long GetHttpStatus() const { return lHttpStatus; }

private:
    long lHttpStatus = 0;
};

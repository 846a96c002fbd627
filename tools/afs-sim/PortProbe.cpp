#include "tools/afs-sim/PortProbe.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/common/Handles.h"

namespace afs_sim {

std::string ExplainBindFailure(const std::string& strHost, int nPort) {
    const std::string strWhere = strHost + ":" + std::to_string(nPort);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* ptrAddresses = nullptr;
    const int nLookup = getaddrinfo(strHost.c_str(), std::to_string(nPort).c_str(), &hints, &ptrAddresses);
    if (nLookup != 0) return "cannot listen on " + strWhere + ": " + gai_strerror(nLookup);
    int nError = 0;
    for (addrinfo* ptr = ptrAddresses; ptr != nullptr && nError != EADDRINUSE; ptr = ptr->ai_next) {
        const afs_cli::CUniqueFd socketFd(
            socket(ptr->ai_family, ptr->ai_socktype | SOCK_CLOEXEC, ptr->ai_protocol));
        const int nFd = socketFd.Get();
        if (nFd < 0) {
            nError = errno;
            continue;
        }
        const int nYes = 1;
        setsockopt(nFd, SOL_SOCKET, SO_REUSEADDR, &nYes, sizeof(nYes));
        nError = bind(nFd, ptr->ai_addr, ptr->ai_addrlen) == 0 ? 0 : errno;
    }
    freeaddrinfo(ptrAddresses);
    if (nError == EADDRINUSE) return "port " + std::to_string(nPort) + " is in use";
    return "cannot listen on " + strWhere +
           (nError != 0 ? std::string(": ") + std::strerror(nError) : std::string());
}

}  // namespace afs_sim

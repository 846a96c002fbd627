#include "tools/afs-sim/ConnectionDrop.h"

#include <dirent.h>      // the open descriptors are listed in /proc/self/fd
#include <netinet/in.h>  // sockaddr_in, sockaddr_in6
#include <sys/socket.h>

#include <cstdlib>
#include <memory>

#include "tools/common/Handles.h"

namespace afs_sim {
namespace {

int PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

}  // namespace

bool ShutdownConnection(int nLocalPort, int nPeerPort) {
    // The HTTP library does not hand its socket to request handlers; the
    // connection is found by its two ports instead.
    afs_cli::UniqueDirectory ptrDir(opendir("/proc/self/fd"));
    if (!ptrDir) return false;
    while (dirent* pEntry = readdir(ptrDir.get())) {
        char* pEnd = nullptr;
        long lFd = std::strtol(pEntry->d_name, &pEnd, 10);
        if (pEnd == pEntry->d_name || *pEnd != '\0') continue;
        int nFd = static_cast<int>(lFd);
        sockaddr_storage local{};
        sockaddr_storage peer{};
        socklen_t uLocalLength = sizeof(local);
        socklen_t uPeerLength = sizeof(peer);
        if (getsockname(nFd, reinterpret_cast<sockaddr*>(&local), &uLocalLength) != 0) continue;
        if (getpeername(nFd, reinterpret_cast<sockaddr*>(&peer), &uPeerLength) != 0) continue;
        if (PortOf(local) == nLocalPort && PortOf(peer) == nPeerPort) {
            return shutdown(nFd, SHUT_RDWR) == 0;
        }
    }
    return false;
}

}  // namespace afs_sim

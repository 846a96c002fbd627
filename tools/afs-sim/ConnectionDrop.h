#pragma once

namespace afs_sim {

// Shuts down this process's TCP connection between `nLocalPort` and the peer
// port `nPeerPort`, so the peer sees it closed with nothing more sent. The
// descriptor stays open for its owner (the HTTP server) to close. Returns
// false when no such connection is found.
bool ShutdownConnection(int nLocalPort, int nPeerPort);

}  // namespace afs_sim

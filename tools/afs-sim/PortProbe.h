#pragma once

#include <string>

namespace afs_sim {

// Why binding `strHost`:`nPort` fails, from a bind of its own (the HTTP
// library does not keep the reason): "port N is in use", or "cannot listen
// on HOST:PORT: REASON". Meant for after a failed bind.
std::string ExplainBindFailure(const std::string& strHost, int nPort);

}  // namespace afs_sim

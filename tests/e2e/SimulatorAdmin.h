#pragma once

// What a file-server administrator does behind the backup host's back,
// through the server's REST API.

#include <string>
#include <vector>

namespace afs_test {

// Where the server is and how to reach it: `strOrigin` is
// "http(s)://127.0.0.1:PORT"; `strCaFile`, when set, is the PEM file that
// makes an https server's certificate trusted.
struct AdminConnection {
    std::string strOrigin;
    std::string strUser;
    std::string strPassword;
    std::string strCaFile;
};

// One request as the simulator recorded it (GET /_sim/requests).
struct SeenRequest {
    std::string strMethod;
    std::string strOperation;
    long lStatus = 0;  // 0: the connection was dropped
    std::string strFault;
};

// Takes a snapshot `strSnapshot` of share `strShare`, as an administrator
// does by hand. Returns an empty text on success, else what went wrong.
std::string CreateShareSnapshot(const AdminConnection& connection, const std::string& strShare,
                                const std::string& strSnapshot);

// The names of share `strShare`'s snapshots in creation order, into
// `listNames`. Returns an empty text on success, else what went wrong.
std::string ListShareSnapshots(const AdminConnection& connection, const std::string& strShare,
                               std::vector<std::string>& listNames);

// POST /_sim/scenario with `strScenario`; "{}" restores the startup knobs.
std::string ApplyScenario(const AdminConnection& connection, const std::string& strScenario);

// The requests recorded since the last ForgetRequests(), oldest first.
std::string SeenRequests(const AdminConnection& connection, std::vector<SeenRequest>& listRequests);
std::string ForgetRequests(const AdminConnection& connection);

// Deletes the snapshot `strSnapshot` of share `strShare` on the server at
// `strOrigin` ("http://127.0.0.1:PORT"). Returns an empty text on success,
// else what went wrong.
std::string DeleteShareSnapshot(const std::string& strOrigin, const std::string& strUser,
                                const std::string& strPassword, const std::string& strShare,
                                const std::string& strSnapshot);

}  // namespace afs_test

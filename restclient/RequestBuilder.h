#pragma once

#include <boost/optional.hpp>
#include <cstdint>
#include <string>

#include "restclient/RestBackend.h"

// Paths and JSON bodies of the REST operations, in the wire protocol's shape.
// Optional arguments are sent only when set. Texts are put in JSON with proper
// escaping and in paths percent-encoded, so a caller's value can never change
// the shape of a request.
namespace afs_rest {

// Everything but A-Z a-z 0-9 - . _ ~ becomes %XX.
std::string PercentEncode(const std::string& text);

// {"kind": kind, "offset": ..., "length": ..., "filter": ...}
std::string ListBody(const char* kind, boost::optional<int32_t> offset, boost::optional<int32_t> length,
                     const boost::optional<std::string>& filter);

struct PartnerServerRequest {
    std::string strName, strUsage, strVendorName, strDescription;
    boost::optional<std::string> optDnsName, optIpAddress, optPartnerType;
    boost::optional<int32_t> optPort;
    boost::optional<bool> optIsEnabled, optAllowBackup;
    boost::optional<PairList> optServerInfoList, optShareList, optExportList;
};
std::string PartnerServerBody(const PartnerServerRequest& request);

std::string SnapshotBody(const std::string& mountTargetUuid, const std::string& name,
                         const std::string& description, boost::optional<bool> waitForCompletion);

std::string IncrementalDiffBody(const std::string& olderSnapshotUuid, const std::string& newerSnapshotUuid,
                                const boost::optional<std::string>& pathFilter,
                                const boost::optional<std::string>& objectTypeFilter);

std::string DeleteSnapshotPath(const std::string& snapshotUuid, boost::optional<bool> waitForCompletion);

std::string DiffPagePath(const std::string& diffUuid, const boost::optional<std::string>& pageToken,
                         const boost::optional<std::string>& pageSize);

}  // namespace afs_rest

#pragma once

#include <memory>
#include <string>

#include "restclient/RestBackend.h"

namespace afs_rest {

// Strict JSON mapping of the small answers (lists, creations, difference
// output, error bodies), with simdjson's DOM parser reused between calls.
// A body that is not complete, valid UTF-8 JSON, a member of the wrong type, a
// missing required member or a number out of range throws NutanixException
// whose text names the member, e.g. "metadata.offset: -1 is out of range".
// Members not in the wire protocol are ignored. Not thread-safe.
class CResponseParser {
public:
    CResponseParser();
    ~CResponseParser();
    CResponseParser(const CResponseParser&) = delete;
    CResponseParser& operator=(const CResponseParser&) = delete;

    std::shared_ptr<model::Partner_server_list_intent_response> PartnerServerList(const std::string& body);
    std::shared_ptr<model::Mount_target_list_intent_response> MountTargetList(const std::string& body);
    std::shared_ptr<model::Mount_target_snapshot_list_intent_response> SnapshotList(const std::string& body);
    // metadata.uuid of a creation answer; empty when absent and !bRequired.
    std::string CreatedUuid(const std::string& body, bool bRequired);
    std::shared_ptr<model::Mount_target_snapshot_diff_output> DiffOutput(const std::string& body);
    // message_list[0].message of an error body; empty when the body has none
    // or is not JSON. Never throws. Control characters are dropped and the
    // text is cut to 512 bytes.
    std::string ErrorMessage(const std::string& body) noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> ptrImpl;
};

}  // namespace afs_rest

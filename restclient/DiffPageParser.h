#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "restclient/model/SnapshotDiff.h"

namespace afs_rest {

namespace model = io::swagger::client::model;

// Parses difference pages straight into the models, without a JSON tree
// (simdjson On-Demand). Keeps its parser and padded buffer between pages, so
// one instance per thread (or per client) parses pages without reallocating.
// On failure throws NutanixException naming the member, e.g.
// "object_list[17].size: -5 is out of range", and leaves `page` partly
// filled; on success `page` holds exactly what the body says (earlier content
// is replaced). Not thread-safe.
class CDiffPageParser {
public:
    CDiffPageParser();
    ~CDiffPageParser();
    CDiffPageParser(const CDiffPageParser&) = delete;
    CDiffPageParser& operator=(const CDiffPageParser&) = delete;

    // Copies the body into the internal padded buffer first.
    void Parse(const char* data, size_t size, model::Mount_target_snapshot_diff_tracking_output& page);
    // Parses `body` in place; may grow its capacity (not its content) to make
    // room for the padding the parser reads past the end.
    void ParseInPlace(std::string& body, model::Mount_target_snapshot_diff_tracking_output& page);

private:
    struct Impl;
    std::unique_ptr<Impl> ptrImpl;
};

// Parses one page with a parser kept per calling thread; same contract as
// CDiffPageParser::Parse.
void ParseDiffPage(const char* data, size_t size, model::Mount_target_snapshot_diff_tracking_output& page);

}  // namespace afs_rest

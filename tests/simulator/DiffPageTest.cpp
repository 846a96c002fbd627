#include "tools/afs-sim/DiffStore.h"

#include <gtest/gtest.h>

namespace afs_test {
namespace {

using afs_sim::EOperation;

// A deletion names the older snapshot, which the plug-in does not check;
// every member is there, times to the 100 ns the clients read.
TEST(DiffPage, ObjectsCarryEveryMemberInTheirOwnSnapshot) {
    std::vector<afs_sim::DiffObject> listObjects(1);
    listObjects[0].eOperation = EOperation::eDelete;
    // Modified 2026-12-01T10:11:12Z, read 1.2345 ms later.
    listObjects[0].entry = {"gone.txt", afs_sim::EObjectType::eFile, 4711,
                            1024,       1796119872001234500,         1796119872000000000};
    afs_sim::DiffSource source{std::make_shared<const std::vector<afs_sim::DiffObject>>(listObjects),
                               "snap_new", "snap_old", 0, 1};
    std::string strBody;
    ASSERT_EQ("", afs_sim::WriteDiffPage(source, "", 1, strBody));
    EXPECT_EQ(
        "{\"is_last_page\":true,\"should_retry_page\":false,\"next_page_token\":\"\",\"object_list\":[{"
        "\"path\":"
        "\"/.snapshot/snap_old/"
        "gone.txt\",\"old_path\":\"\",\"object_type\":\"FILE\",\"operation_type\":\"DELETE\","
        "\"size\":1024,\"inode_number\":4711,\"access_timestamp\":\"2026-12-01T10:11:12.0012345Z\","
        "\"change_timestamp\":\"1970-01-01T00:00:00Z\",\"creation_timestamp\":\"1970-01-01T00:00:00Z\","
        "\"modification_timestamp\":\"2026-12-01T10:11:12Z\"}]}",
        strBody);
}

}  // namespace
}  // namespace afs_test

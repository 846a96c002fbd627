#include "host/FXPath.h"

#include <gtest/gtest.h>

#include <string>

// The volume-name lookup is the plug-in's (SnapshotDiffTest) and the mount
// table's (MntTabTest) to show.
TEST(FXPath, AppendLeavesExactlyOneDelimiterAndTrimKeepsTheRoot) {
    // component null: RemoveTrailingDelimiter.
    const struct {
        const char* szPath;
        const char* szComponent;
        const char* szResult;
    } kCases[] = {
        {"/mnt", "share", "/mnt/share"},
        {"/mnt///", "//share", "/mnt/share"},
        {"/", "share", "/share"},
        {"", "share", "/share"},
        {"/mnt", "a/b/", "/mnt/a/b/"},
        {"/mnt/share/", nullptr, "/mnt/share"},
        {"/mnt/share", nullptr, "/mnt/share"},
        {"/", nullptr, "/"},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(std::string(row.szPath) + " + " + (row.szComponent ? row.szComponent : "<trim>"));
        std::string path = row.szPath;
        // Both always succeed.
        row.szComponent ? FXPath::Append(path, row.szComponent, 0) : FXPath::RemoveTrailingDelimiter(path);
        EXPECT_EQ(row.szResult, path);
    }
}

TEST(FXPath, DescendantComparesWholeCaseSensitiveComponents) {
    const struct {
        const char* szPath;
        const char* szBase;
        bool bIncludeSelf, bResult;
    } kCases[] = {
        {"/share/dir/file", "/share", false, true},
        {"/share10", "/share", true, false},
        {"/share", "/share/dir", true, false},
        {"/anything", "/", false, true},
        {"/x", "", true, false},
        {"/", "/", true, true},
        {"/Share/dir", "/share", true, false},
        {"/share/", "/share", true, true},
        {"/share/", "/share", false, false},
        {"/share/dir/", "/share/", false, true},
        {"/share", "/share//", true, true},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(std::string(row.szPath) + " under " + row.szBase +
                     (row.bIncludeSelf ? " or equal" : ""));
        EXPECT_EQ(row.bResult, FXPath::IsDescendantOf(row.szPath, row.szBase, row.bIncludeSelf));
    }
}

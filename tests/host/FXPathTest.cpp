#include "host/FXPath.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/ScopedSettings.h"
#include "tests/support/ScopedTempDir.h"

TEST(FXPath, AppendLeavesExactlyOneDelimiterAndTrimKeepsTheRoot) {
    // component null: RemoveTrailingDelimiter.
    const struct { const char* szPath; const char* szComponent; const char* szResult; } kCases[] = {
        {"/mnt", "share", "/mnt/share"},  {"/mnt/", "share", "/mnt/share"},   {"/mnt", "/share", "/mnt/share"},
        {"/mnt/", "//share", "/mnt/share"}, {"/", "share", "/share"},         {"", "share", "/share"},
        {"/mnt", "a/b/", "/mnt/a/b/"},    {"/mnt//", "share", "/mnt/share"}, {"/mnt///", "/share", "/mnt/share"},
        {"//", "share", "/share"},        {"/mnt/share/", nullptr, "/mnt/share"}, {"/mnt/share", nullptr, "/mnt/share"},
        {"/", nullptr, "/"},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(std::string(row.szPath) + " + " + (row.szComponent ? row.szComponent : "<trim>"));
        std::string path = row.szPath;
        CRhError error = row.szComponent ? FXPath::Append(path, row.szComponent, 0) : FXPath::RemoveTrailingDelimiter(path);
        EXPECT_FALSE(error.IsError());
        EXPECT_EQ(row.szResult, path);
    }
}

TEST(FXPath, DescendantComparesWholeCaseSensitiveComponents) {
    const struct { const char* szPath; const char* szBase; bool bIncludeSelf, bResult; } kCases[] = {
        {"/share/dir", "/share", false, true},      {"/share/dir/file", "/share", false, true},
        {"/share10", "/share", false, false},       {"/share10/dir", "/share", true, false},
        {"/share", "/share/dir", true, false},      {"/anything", "/", false, true},
        {"/x", "", true, false},                    {"/share", "/share", false, false},
        {"/share", "/share", true, true},           {"/", "/", true, true},
        {"/Share/dir", "/share", true, false},      {"/share", "/SHARE", true, false},
        {"/share/", "/share", true, true},          {"/share/", "/share", false, false},
        {"/share/dir/", "/share/", false, true},    {"/share", "/share//", true, true},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(std::string(row.szPath) + " under " + row.szBase + (row.bIncludeSelf ? " or equal" : ""));
        EXPECT_EQ(row.bResult, FXPath::IsDescendantOf(row.szPath, row.szBase, row.bIncludeSelf));
    }
}

TEST(FXPath, VolumeNameIsTheMountHoldingThePathOrTheReasonWhyNot) {
    CScopedTempDir dir;
    const std::string table = dir.WriteFile(
        "mounts", "fs1:/share1 /mnt/afs/share1 nfs rw 0 0\nfs1:/share2 /mnt/afs/share\\0402 nfs rw 0 0\n");
    // An unreadable table is the mount table's own test.
    const struct { std::string strPath, strVolume, strError; } kCases[] = {
        {"/mnt/afs/share1/dir/file", "/mnt/afs/share1", ""},
        {"/mnt/afs/share 2", "/mnt/afs/share 2", ""},
        {"/mnt/afs/share10", "unchanged", "No mounted volume holds [/mnt/afs/share10]"},
    };
    CScopedSettings settings("[Host]\nMountTableFile = " + table + "\n");
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.strPath);
        std::string volume = "unchanged";
        CRhError error = FXPath::ZKGetVolumeNameForVolumeMountPoint(row.strPath, volume);
        EXPECT_EQ(row.strVolume, volume);
        EXPECT_EQ(row.strError, error.GetMessage());
        EXPECT_EQ(row.strError.empty() ? 0u : 1627u, error.GetCode());
    }
}

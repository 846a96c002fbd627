#include "host/FXPath.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScopedSettings.h"

namespace {

std::string Appended(std::string path, const std::string& component) {
    CRhError error = FXPath::Append(path, component, 0);
    EXPECT_FALSE(error.IsError()) << error.AsString();
    return path;
}

}  // namespace

TEST(FXPathAppend, PutsExactlyOneDelimiterBetween) {
    EXPECT_EQ("/mnt/share", Appended("/mnt", "share"));
    EXPECT_EQ("/mnt/share", Appended("/mnt/", "share"));
    EXPECT_EQ("/mnt/share", Appended("/mnt", "/share"));
    EXPECT_EQ("/mnt/share", Appended("/mnt/", "//share"));
    EXPECT_EQ("/share", Appended("/", "share"));
    EXPECT_EQ("/share", Appended("", "share"));
    EXPECT_EQ("/mnt/a/b/", Appended("/mnt", "a/b/"));
}

TEST(FXPathAppend, RegressionSeveralTrailingDelimitersOnThePath) {
    EXPECT_EQ("/mnt/share", Appended("/mnt//", "share"));
    EXPECT_EQ("/mnt/share", Appended("/mnt///", "/share"));
    EXPECT_EQ("/share", Appended("//", "share"));
}

TEST(FXPathDescendant, ComparesWholeComponents) {
    EXPECT_TRUE(FXPath::IsDescendantOf("/share/dir", "/share", false));
    EXPECT_TRUE(FXPath::IsDescendantOf("/share/dir/file", "/share", false));
    EXPECT_FALSE(FXPath::IsDescendantOf("/share10", "/share", false));
    EXPECT_FALSE(FXPath::IsDescendantOf("/share10/dir", "/share", true));
    EXPECT_FALSE(FXPath::IsDescendantOf("/share", "/share/dir", true));
    EXPECT_TRUE(FXPath::IsDescendantOf("/anything", "/", false));
    EXPECT_FALSE(FXPath::IsDescendantOf("/x", "", true));
}

TEST(FXPathDescendant, EqualCountsOnlyWithTheFlag) {
    EXPECT_FALSE(FXPath::IsDescendantOf("/share", "/share", false));
    EXPECT_TRUE(FXPath::IsDescendantOf("/share", "/share", true));
    EXPECT_TRUE(FXPath::IsAncestorOf("/share", "/share", true));
    EXPECT_FALSE(FXPath::IsAncestorOf("/share", "/share", false));
    EXPECT_TRUE(FXPath::IsDescendantOf("/", "/", true));
}

TEST(FXPathDescendant, IsCaseSensitive) {
    EXPECT_FALSE(FXPath::IsDescendantOf("/Share/dir", "/share", true));
    EXPECT_FALSE(FXPath::IsDescendantOf("/share", "/SHARE", true));
}

TEST(FXPathDescendant, IgnoresTrailingDelimiters) {
    EXPECT_TRUE(FXPath::IsDescendantOf("/share/", "/share", true));
    EXPECT_FALSE(FXPath::IsDescendantOf("/share/", "/share", false));
    EXPECT_TRUE(FXPath::IsDescendantOf("/share/dir/", "/share/", false));
    EXPECT_TRUE(FXPath::IsDescendantOf("/share", "/share//", true));
}

TEST(FXPathRemoveTrailingDelimiter, KeepsTheRoot) {
    std::string path = "/mnt/share/";
    EXPECT_FALSE(FXPath::RemoveTrailingDelimiter(path).IsError());
    EXPECT_EQ("/mnt/share", path);
    EXPECT_FALSE(FXPath::RemoveTrailingDelimiter(path).IsError());
    EXPECT_EQ("/mnt/share", path);
    path = "/";
    EXPECT_FALSE(FXPath::RemoveTrailingDelimiter(path).IsError());
    EXPECT_EQ("/", path);
}

TEST(FXPathVolumeName, FindsTheMountHoldingThePath) {
    CScopedTempDir dir;
    const std::string table = dir.WriteFile("mounts",
                                            "fs1:/share1 /mnt/afs/share1 nfs rw 0 0\n"
                                            "fs1:/share2 /mnt/afs/share\\0402 nfs rw 0 0\n");
    CScopedSettings settings("[Host]\nMountTableFile = " + table + "\n");

    std::string volume;
    CRhError error = FXPath::ZKGetVolumeNameForVolumeMountPoint("/mnt/afs/share1/dir/file", volume);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ("/mnt/afs/share1", volume);

    error = FXPath::ZKGetVolumeNameForVolumeMountPoint("/mnt/afs/share 2", volume);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ("/mnt/afs/share 2", volume);

    volume = "unchanged";
    error = FXPath::ZKGetVolumeNameForVolumeMountPoint("/mnt/afs/share10", volume);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("No mounted volume holds [/mnt/afs/share10]", error.GetMessage());
    EXPECT_EQ("unchanged", volume);
}

TEST(FXPathVolumeName, UnreadableMountTableIsAnErrorChain) {
    CScopedTempDir dir;
    CScopedSettings settings("[Host]\nMountTableFile = " + dir.GetPath() + "/absent\n");
    std::string volume;
    CRhError error = FXPath::ZKGetVolumeNameForVolumeMountPoint("/mnt/afs/share1", volume);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("Cannot read the mount table [" + dir.GetPath() + "/absent]", error.GetMessage());
    ASSERT_EQ(2u, error.GetEntries().size());
    EXPECT_NE(std::string::npos, error.AsString().find("ZKGetVolumeNameForVolumeMountPoint"));
}

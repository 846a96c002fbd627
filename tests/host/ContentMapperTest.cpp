#include "host/ContentMapper.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Mapped(CPrefixContentMapper& mapper, const std::string& localPath) {
    std::string mapped = "<unset>";
    CRhError error = mapper.GetMappedPath(localPath, mapped);
    if (error.IsError()) return "error: " + error.GetMessage();
    return mapped;
}

}  // namespace

TEST(PrefixContentMapper, ReplacesTheLongestWholeComponentPrefix) {
    CPrefixContentMapper mapper(
        ContentMapperAPI::Map{{"/mnt/afs", "/fs1"}, {"/mnt/afs/share2", "/fs2/share2"}});
    EXPECT_EQ("/fs1/share1/dir/file", Mapped(mapper, "/mnt/afs/share1/dir/file"));
    EXPECT_EQ("/fs2/share2/dir", Mapped(mapper, "/mnt/afs/share2/dir"));
    EXPECT_EQ("/fs1/share20", Mapped(mapper, "/mnt/afs/share20"));
    EXPECT_EQ("/fs1", Mapped(mapper, "/mnt/afs"));
}

TEST(PrefixContentMapper, KeepsATrailingDelimiter) {
    CPrefixContentMapper mapper(ContentMapperAPI::Map{{"/mnt/afs/", "/fs1/"}});
    EXPECT_EQ("/fs1/share/", Mapped(mapper, "/mnt/afs/share/"));
    EXPECT_EQ("/fs1/", Mapped(mapper, "/mnt/afs/"));
    EXPECT_EQ("/mnt/afs", mapper.GetPrefixes().begin()->first);
    EXPECT_EQ("/fs1", mapper.GetPrefixes().begin()->second);
}

TEST(PrefixContentMapper, RootOnEitherSide) {
    CPrefixContentMapper toRoot(ContentMapperAPI::Map{{"/mnt/afs", "/"}});
    EXPECT_EQ("/share/dir", Mapped(toRoot, "/mnt/afs/share/dir"));
    EXPECT_EQ("/", Mapped(toRoot, "/mnt/afs"));

    CPrefixContentMapper fromRoot(ContentMapperAPI::Map{{"/", "/host1"}});
    EXPECT_EQ("/host1/mnt/afs", Mapped(fromRoot, "/mnt/afs"));
}

TEST(PrefixContentMapper, UncoveredPathIsAnErrorAndLeavesTheOutputAlone) {
    CPrefixContentMapper mapper(ContentMapperAPI::Map{{"/mnt/afs", "/fs1"}});
    std::string mapped = "before";
    CRhError error = mapper.GetMappedPath("/mnt/afs10/share", mapped);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("No content mapping for [/mnt/afs10/share]", error.GetMessage());
    EXPECT_EQ("before", mapped);

    EXPECT_EQ("error: No content mapping for [/MNT/afs/x]", Mapped(mapper, "/MNT/afs/x"));
    CPrefixContentMapper empty((ContentMapperAPI::Map()));
    EXPECT_EQ("error: No content mapping for [/mnt/afs]", Mapped(empty, "/mnt/afs"));
}

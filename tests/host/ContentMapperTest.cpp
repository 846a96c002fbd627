#include "host/ContentMapper.h"

#include <gtest/gtest.h>

#include <string>

TEST(PrefixContentMapper, ReplacesTheLongestWholeComponentPrefixOrSaysWhyNot) {
    const ContentMapperAPI::Map kMaps[] = {{{"/mnt/afs", "/fs1"}, {"/mnt/afs/share2", "/fs2/share2"}},
                                           {{"/mnt/afs/", "/fs1/"}},
                                           {{"/mnt/afs", "/"}},
                                           {{"/", "/host1"}},
                                           {}};
    // Case and the finer points of whole components are IsDescendantOf's (FXPathTest).
    const struct {
        int nMap;
        const char* szLocal;
        const char* szMapped;
    } kCases[] = {
        {0, "/mnt/afs/share2/dir", "/fs2/share2/dir"},
        {0, "/mnt/afs", "/fs1"},
        {1, "/mnt/afs/share/", "/fs1/share/"},
        {1, "/mnt/afs/", "/fs1/"},
        {2, "/mnt/afs/share/dir", "/share/dir"},
        {2, "/mnt/afs", "/"},
        {3, "/mnt/afs", "/host1/mnt/afs"},
        {0, "/mnt/afs/share20", "/fs1/share20"},
        {4, "/mnt/afs", nullptr},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(std::to_string(row.nMap) + " " + row.szLocal);
        CPrefixContentMapper mapper(kMaps[row.nMap]);
        std::string mapped = "before";
        CRhError error = mapper.GetMappedPath(row.szLocal, mapped);
        EXPECT_EQ(row.szMapped ? row.szMapped : "before", mapped);
        EXPECT_EQ(row.szMapped ? "" : "No content mapping for [" + std::string(row.szLocal) + "]",
                  error.GetMessage());
        EXPECT_EQ(row.szMapped ? 0u : 1627u, error.GetCode());
    }
}

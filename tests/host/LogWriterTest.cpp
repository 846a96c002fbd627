#include "host/LogWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"
#include "tests/support/ScopedTempDir.h"

// One line per call: "<UTC time>.<ms>Z [thread] L<level> <function>:<line> <message>".
TEST(LogWriter, SettingsOrTheGivenFileChooseLevelAndPlace) {
    CScopedTempDir dir;
    const std::string path = dir.GetPath();
    const std::string existing = dir.WriteFile("old.log", "earlier line\n");
    // strFile empty: the writer reads the settings; strLands empty: standard
    // error. A refused file falls back to it too (HostileNeighbourE2ETest).
    const struct {
        std::string strSettings, strFile;
        int nLevel;
        std::string strLands, strBefore;
    } kCases[] = {
        {"[Host]\nLogLevel = 3\nLogDir = " + path + "/logs\n", "", 3, path + "/logs/afs-host.log", ""},
        {"[Host]\n", "", -1, "", ""},
        {"[Host]\nLogLevel = 4294967295\n", "", INT_MAX, "", ""},
        {"", existing, -1, existing, "earlier line\n"},
    };
    auto openFiles = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto nOpenBefore = openFiles();
    const mode_t uMask = umask(022);  // a host's usual mask: the private modes must not rest on it
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.strSettings + row.strFile);
        CScopedSettings settings(row.strSettings);
        testing::internal::CaptureStderr();
        {
            CLogWriter writer = row.strFile.empty() ? CLogWriter() : CLogWriter(row.nLevel, row.strFile);
            EXPECT_EQ(row.nLevel, writer.GetLevel());
            writer.Write(row.nLevel, "void F()", 5, 0, 0, "the %s [%u]", "line", 2u);
        }
        const std::string err = testing::internal::GetCapturedStderr();
        const std::string text = row.strLands.empty() ? err : CScopedTempDir::ReadFile(row.strLands);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(
            text, match,
            std::regex(row.strBefore + R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z \[(\d+)\] L)" +
                       std::to_string(row.nLevel) + R"( void F\(\):5 the line \[2\]\n)")))
            << text;
        EXPECT_EQ(std::to_string(syscall(SYS_gettid)), match[1].str());
    }
    EXPECT_EQ(nOpenBefore, openFiles());  // a writer closes its file
    umask(uMask);
    using std::filesystem::perms;
    EXPECT_EQ(perms::owner_all, std::filesystem::status(path + "/logs").permissions());
    EXPECT_EQ(perms::owner_read | perms::owner_write,
              std::filesystem::status(path + "/logs/afs-host.log").permissions());
}

TEST(LogWriter, HostLogWritesUpToTheWritersLevelAndErrorsAlways) {
    for (int nLevel : {1, -5}) {
        CScopedLogCapture capture(nLevel);
        for (int nMessage : {2, 1, 0, -1}) HOST_LOG(nMessage, "level %d", nMessage);
        const std::vector<std::string> listAll{"level 1", "level 0", "level -1"};
        EXPECT_EQ(nLevel == 1 ? listAll : std::vector<std::string>{"level -1"}, capture->GetMessages())
            << nLevel;
        EXPECT_EQ(__PRETTY_FUNCTION__, capture->GetLines().back().strFunction);
    }
    CScopedLogCapture restore;
    g_ptrLogWriter.reset();
    HOST_LOG(-1, "nobody listens, nothing breaks");
}

#include "host/LogWriter.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"
#include "tests/support/ScopedTempDir.h"

TEST(LogWriter, LineCarriesUtcTimeThreadLevelFunctionLineAndMessage) {
    CScopedTempDir dir;
    const std::string file = dir.GetPath() + "/host.log";
    const time_t before = time(nullptr);
    {
        CLogWriter writer(0, file);
        writer.Write(0, "CRhError CNutanixAFSManager::Initialize(int)", 117, 0, 0, "clientid [%u] %s", 2u, "done");
        writer.Write(-1, "void F()", 9, 0, 0, "%s", "error line");
    }
    const std::regex pattern(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)\.\d{3}Z \[(\d+)\] L0 CRhError )"
                             R"(CNutanixAFSManager::Initialize\(int\):117 clientid \[2\] done\n\S+Z \[\2\] L-1 void F\(\):9 error line\n)");
    std::smatch match;
    const std::string text = CScopedTempDir::ReadFile(file);
    ASSERT_TRUE(std::regex_match(text, match, pattern)) << text;
    EXPECT_EQ(std::to_string(syscall(SYS_gettid)), match[2].str());
    tm stamp{};
    ASSERT_NE(nullptr, strptime(match[1].str().c_str(), "%Y-%m-%dT%H:%M:%S", &stamp));
    // time() reads a coarser clock than the writer's CLOCK_REALTIME: allow it a second either way.
    EXPECT_LE(before - 1, timegm(&stamp));
    EXPECT_GE(time(nullptr) + 1, timegm(&stamp));
}

TEST(LogWriter, SettingsOrTheGivenFileChooseLevelAndPlace) {
    CScopedTempDir dir;
    const std::string path = dir.GetPath();
    const std::string existing = dir.WriteFile("old.log", "earlier line\n");
    // strFile empty: the writer reads the settings; strLands empty: standard error.
    const struct { std::string strSettings, strFile; int nLevel; std::string strLands, strBefore; } kCases[] = {
        {"[Host]\nLogLevel = 3\nLogDir = " + path + "/logs\n", "", 3, path + "/logs/afs-host.log", ""},
        {"[Host]\n", "", 0, "", ""},
        {"", existing + "/host.log", 0, "", "host log: cannot use folder " + existing + ": not a folder.*\n"},
        {"", existing, 0, existing, "earlier line\n"},
    };
    auto openFiles = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto nOpenBefore = openFiles();
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.strSettings + row.strFile);
        CScopedSettings settings(row.strSettings);
        testing::internal::CaptureStderr();
        {
            CLogWriter writer = row.strFile.empty() ? CLogWriter() : CLogWriter(row.nLevel, row.strFile);
            EXPECT_EQ(row.nLevel, writer.GetLevel());
            writer.Write(row.nLevel, "g", 5, 0, 0, "the line");
        }
        const std::string err = testing::internal::GetCapturedStderr();
        const std::string text = row.strLands.empty() ? err : CScopedTempDir::ReadFile(row.strLands);
        EXPECT_TRUE(std::regex_match(text, std::regex(row.strBefore + R"(\S+Z \[\d+\] L)" + std::to_string(row.nLevel) +
                                                      " g:5 the line\n")))
            << text;
    }    EXPECT_EQ(nOpenBefore, openFiles());  // a writer closes its file
}

TEST(LogWriter, LinesFromManyThreadsStayWhole) {
    CScopedTempDir dir;
    const std::string file = dir.GetPath() + "/host.log";
    {
        CLogWriter writer(0, file);
        std::vector<std::thread> listThreads;
        for (int t = 0; t < 4; ++t) {
            listThreads.emplace_back([&writer, t] {
                for (int i = 0; i < 200; ++i) writer.Write(0, "worker", t, 0, 0, "thread %d message %d end", t, i);
            });
        }
        for (std::thread& thread : listThreads) thread.join();
    }
    std::istringstream in(CScopedTempDir::ReadFile(file));
    const std::regex pattern(R"(\S+Z \[\d+\] L0 worker:(\d) thread \1 message \d+ end)");
    int nLines = 0;
    for (std::string line; std::getline(in, line); ++nLines) EXPECT_TRUE(std::regex_match(line, pattern)) << line;
    EXPECT_EQ(800, nLines);
}

TEST(LogWriter, HostLogWritesUpToTheWritersLevelAndErrorsAlways) {
    for (int nLevel : {1, -5}) {
        SCOPED_TRACE(nLevel);
        CScopedLogCapture capture(nLevel);
        for (int nMessage : {2, 1, 0, -1}) HOST_LOG(nMessage, "level %d", nMessage);
        std::vector<std::string> listSeen;
        for (const CapturedLogLine& line : capture->GetLines()) {
            EXPECT_EQ(__PRETTY_FUNCTION__, line.strFunction);
            listSeen.push_back(line.strMessage);
        }
        const std::vector<std::string> listExpected{"level 1", "level 0", "level -1"};
        EXPECT_EQ(nLevel == 1 ? listExpected : std::vector<std::string>{"level -1"}, listSeen);
    }
    CScopedLogCapture restore;
    g_ptrLogWriter.reset();
    HOST_LOG(-1, "nobody listens, nothing breaks");
}

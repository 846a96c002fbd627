#include "host/LogWriter.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScopedSettings.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> listLines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) listLines.push_back(line);
    return listLines;
}

// Makes `writer` the process-wide writer for the scope.
class CScopedGlobalWriter {
public:
    explicit CScopedGlobalWriter(boost::shared_ptr<CLogWriterInterface> writer)
        : ptrPrevious(g_ptrLogWriter) {
        g_ptrLogWriter = std::move(writer);
    }
    ~CScopedGlobalWriter() { g_ptrLogWriter = ptrPrevious; }
    CScopedGlobalWriter(const CScopedGlobalWriter&) = delete;
    CScopedGlobalWriter& operator=(const CScopedGlobalWriter&) = delete;

private:
    boost::shared_ptr<CLogWriterInterface> ptrPrevious;
};

}  // namespace

TEST(LogWriterLine, CarriesTimeThreadLevelFunctionLineAndMessage) {
    CScopedTempDir dir;
    const std::string file = dir.GetPath() + "/host.log";
    const time_t before = time(nullptr);
    {
        CLogWriter writer(0, file);
        writer.Write(0, "CRhError CNutanixAFSManager::Initialize(int)", 117, 0, 0, "clientid [%u] %s", 2u,
                     "done");
        writer.Write(-1, "void F()", 9, 0, 0, "%s", "error line");
    }
    const time_t after = time(nullptr);

    const std::vector<std::string> listLines = Lines(CScopedTempDir::ReadFile(file));
    ASSERT_EQ(2u, listLines.size());
    const std::regex pattern(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)\.\d{3}Z \[(\d+)\] L0 )"
                             R"(CRhError CNutanixAFSManager::Initialize\(int\):117 clientid \[2\] done$)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(listLines[0], match, pattern)) << listLines[0];
    EXPECT_EQ(std::to_string(syscall(SYS_gettid)), match[2].str());

    tm stamp{};
    ASSERT_NE(nullptr, strptime(match[1].str().c_str(), "%Y-%m-%dT%H:%M:%S", &stamp));
    const time_t written = timegm(&stamp);
    EXPECT_GE(written, before);
    EXPECT_LE(written, after);

    EXPECT_TRUE(std::regex_match(listLines[1], std::regex(R"(^\S+Z \[\d+\] L-1 void F\(\):9 error line$)")))
        << listLines[1];
}

TEST(LogWriterLine, AppendsToAnExistingFile) {
    CScopedTempDir dir;
    const std::string file = dir.WriteFile("host.log", "earlier line\n");
    {
        CLogWriter writer(0, file);
        writer.Write(0, "f", 1, 0, 0, "later line");
    }
    const std::vector<std::string> listLines = Lines(CScopedTempDir::ReadFile(file));
    ASSERT_EQ(2u, listLines.size());
    EXPECT_EQ("earlier line", listLines[0]);
    EXPECT_NE(std::string::npos, listLines[1].find(" f:1 later line"));
}

TEST(LogWriterLine, LinesFromManyThreadsStayWhole) {
    CScopedTempDir dir;
    const std::string file = dir.GetPath() + "/host.log";
    {
        CLogWriter writer(0, file);
        std::vector<std::thread> listThreads;
        for (int t = 0; t < 4; ++t) {
            listThreads.emplace_back([&writer, t] {
                for (int i = 0; i < 200; ++i)
                    writer.Write(0, "worker", t, 0, 0, "thread %d message %d end", t, i);
            });
        }
        for (std::thread& thread : listThreads) thread.join();
    }
    const std::vector<std::string> listLines = Lines(CScopedTempDir::ReadFile(file));
    ASSERT_EQ(800u, listLines.size());
    const std::regex pattern(R"(^\S+Z \[\d+\] L0 worker:(\d) thread (\d) message \d+ end$)");
    for (const std::string& line : listLines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, pattern)) << line;
        EXPECT_EQ(match[1].str(), match[2].str());
    }
}

TEST(LogWriterThreshold, HostLogWritesUpToTheWritersLevel) {
    CScopedTempDir dir;
    const std::string file = dir.GetPath() + "/host.log";
    int nLine = 0;
    {
        CScopedGlobalWriter global(boost::shared_ptr<CLogWriterInterface>(new CLogWriter(1, file)));
        HOST_LOG(2, "too detailed %d", 2);
        HOST_LOG(1, "detail %d", 1);
        nLine = __LINE__ - 1;
        HOST_LOG(0, "normal");
        HOST_LOG(-1, "failure");
    }
    const std::vector<std::string> listLines = Lines(CScopedTempDir::ReadFile(file));
    ASSERT_EQ(3u, listLines.size());
    EXPECT_NE(std::string::npos, listLines[0].find(" L1 "));
    EXPECT_NE(std::string::npos, listLines[0].find(std::string(__PRETTY_FUNCTION__) + ":" +
                                                   std::to_string(nLine) + " detail 1"));
    EXPECT_NE(std::string::npos, listLines[1].find(" L0 "));
    EXPECT_NE(std::string::npos, listLines[1].find(" normal"));
    EXPECT_NE(std::string::npos, listLines[2].find(" L-1 "));
    EXPECT_NE(std::string::npos, listLines[2].find(" failure"));
}

TEST(LogWriterThreshold, ErrorsAreWrittenEvenBelowLevelZero) {
    CScopedTempDir dir;
    const std::string file = dir.GetPath() + "/host.log";
    {
        CScopedGlobalWriter global(boost::shared_ptr<CLogWriterInterface>(new CLogWriter(-5, file)));
        HOST_LOG(0, "normal");
        HOST_LOG(-1, "failure");
    }
    const std::vector<std::string> listLines = Lines(CScopedTempDir::ReadFile(file));
    ASSERT_EQ(1u, listLines.size());
    EXPECT_NE(std::string::npos, listLines[0].find(" failure"));
}

TEST(LogWriterThreshold, NoWriterMeansNoLogging) {
    CScopedGlobalWriter global{boost::shared_ptr<CLogWriterInterface>()};
    HOST_LOG(-1, "nobody listens");
    EXPECT_EQ(nullptr, g_ptrLogWriter.get());
}

TEST(LogWriterSettings, LevelAndDirectoryComeFromTheHostSection) {
    CScopedTempDir dir;
    const std::string logDir = dir.GetPath() + "/logs";
    CScopedSettings settings("[Host]\nLogLevel = 3\nLogDir = " + logDir + "\n");
    {
        CLogWriter writer;
        EXPECT_EQ(3, writer.GetLevel());
        writer.Write(3, "g", 5, 0, 0, "into the directory");
    }
    const std::vector<std::string> listLines = Lines(CScopedTempDir::ReadFile(logDir + "/afs-host.log"));
    ASSERT_EQ(1u, listLines.size());
    EXPECT_NE(std::string::npos, listLines[0].find(" L3 g:5 into the directory"));
}

TEST(LogWriterSettings, DefaultsToLevelZeroOnStandardError) {
    CScopedTempDir dir;
    CScopedSettings settings("[Host]\n");
    CLogWriter writer;
    EXPECT_EQ(0, writer.GetLevel());
    testing::internal::CaptureStderr();
    writer.Write(0, "h", 6, 0, 0, "to stderr");
    const std::string text = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, text.find(" L0 h:6 to stderr\n"));
}

TEST(LogWriterSettings, UnopenableFileFallsBackToStandardError) {
    CScopedTempDir dir;
    std::ofstream(dir.GetPath() + "/a-file") << "x";  // no folder can be made there
    CLogWriter writer(0, dir.GetPath() + "/a-file/host.log");
    testing::internal::CaptureStderr();
    writer.Write(0, "k", 7, 0, 0, "still visible");
    const std::string text = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, text.find(" L0 k:7 still visible\n"));
}

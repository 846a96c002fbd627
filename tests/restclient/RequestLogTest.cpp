#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "restclient/NutanixException.h"
#include "restclient/RequestLog.h"
#include "restclient/SecretScrubber.h"
#include "tests/restclient/ScriptedTransport.h"

using afs_rest_test::Answer;
using afs_rest_test::ScriptedBackend;

namespace {

std::string TempDir() {
    std::string pattern = "/tmp/afs-rest-log-XXXXXX";
    EXPECT_NE(nullptr, mkdtemp(&pattern[0]));
    return pattern;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(RequestLog, OneLinePerRequestInANewDirectory) {
    std::string directory = TempDir() + "/nested/logs";
    afs_rest::RestClientConfig config = ScriptedBackend::DefaultConfig();
    config.strLogDir = directory;
    ScriptedBackend backend(config);
    backend.Script(Answer(200, R"({"metadata": {}, "entities": []})"));
    backend.Script(Answer(404, R"({"message_list": [{"message": "gone"}]})"));
    backend->get_mount_target(boost::none, boost::none);
    EXPECT_THROW(backend->delete_mount_target_snapshot("s1", true), NutanixException);
    std::string log = ReadFile(directory + "/afs-rest-client.log");
    std::istringstream lines(log);
    std::string first, second, extra;
    ASSERT_TRUE(std::getline(lines, first));
    ASSERT_TRUE(std::getline(lines, second));
    EXPECT_FALSE(std::getline(lines, extra));
    EXPECT_EQ('Z', first.at(23)) << first;  // YYYY-MM-DDTHH:MM:SS.mmmZ
    EXPECT_NE(std::string::npos, first.find(" job=job-1 POST mount_targets/list status=200 bytes=32 ms="))
        << first;
    EXPECT_NE(std::string::npos,
              second.find(" DELETE mount_target_snapshots/s1?wait_for_completion=true status=404 bytes="))
        << second;
    EXPECT_EQ(std::string::npos, log.find("S3cret-Pa55"));
    EXPECT_EQ(std::string::npos, log.find("backup-admin"));
}

TEST(RequestLog, SeverityAboveInfoKeepsOnlyFailures) {
    std::string directory = TempDir();
    afs_rest::RestClientConfig config = ScriptedBackend::DefaultConfig();
    config.strLogDir = directory;
    config.eSeverity = afs_log::warning;
    ScriptedBackend backend(config);
    backend.Script(Answer(200, R"({"metadata": {}, "entities": []})"));
    backend.Script(Answer(500, ""));
    backend->get_mount_target(boost::none, boost::none);
    EXPECT_THROW(backend->get_mount_target(boost::none, boost::none), NutanixException);
    std::string log = ReadFile(directory + "/afs-rest-client.log");
    EXPECT_EQ(std::string::npos, log.find("status=200"));
    EXPECT_NE(std::string::npos, log.find("status=500"));
}

TEST(RequestLog, UnwritableDirectoryDoesNotFailTheRequest) {
    std::string directory = TempDir();
    std::string blocker = directory + "/file";
    std::ofstream(blocker) << "x";
    afs_rest::RestClientConfig config = ScriptedBackend::DefaultConfig();
    config.strLogDir = blocker + "/logs";  // below a regular file: cannot exist
    ScriptedBackend backend(config);
    backend.Script(Answer(200, R"({"metadata": {}, "entities": []})"));
    EXPECT_NO_THROW(backend->get_mount_target(boost::none, boost::none));
}

TEST(RequestLog, SecretLookingQueryValuesAreRedacted) {
    EXPECT_EQ("a/b?page_size=3000&page_token=abc",
              afs_rest::CRequestLog::RedactQuery("a/b?page_size=3000&page_token=abc"));
    EXPECT_EQ("a?password=***&x=1&api_key=***&access_token=***",
              afs_rest::CRequestLog::RedactQuery("a?password=hunter2&x=1&api_key=k&access_token=t"));
    EXPECT_EQ("a/b", afs_rest::CRequestLog::RedactQuery("a/b"));
}

TEST(Credentials, NeverInExceptionText) {
    // A server that echoes the password back in its message.
    ScriptedBackend backend;
    backend.Script(
        Answer(401, R"({"message_list": [{"message": "bad password S3cret-Pa55 for backup-admin"}]})"));
    try {
        backend->get_mount_target(boost::none, boost::none);
        FAIL() << "no exception";
    } catch (const NutanixException& error) {
        EXPECT_EQ("get_mount_target failed: HTTP 401: bad password *** for backup-admin",
                  std::string(error.what()));
    }
}

TEST(Credentials, ScrubbedAtAnyLengthWithTheirBase64AndControlCharactersEscaped) {
    const afs_rest::CSecretScrubber scrubber("backup-admin", "pw");
    const struct {
        const char* pszText;
        const char* pszExpected;
    } kCases[] = {
        {"bad pw, retry", "bad ***, retry"},
        {"sent YmFja3VwLWFkbWluOnB3 back", "sent *** back"},  // base64 of backup-admin:pw
        {"{\"authorization\":\"Basic Zm9vOmJhcg==\"}", "{\"authorization\":\"***\"}"},
        {"Authorization: Bearer t0k3n\r\nX: 1", "Authorization: ***\\x0d\\x0aX: 1"},
        {"share\nL0 forged\x1b[2J", "share\\x0aL0 forged\\x1b[2J"},
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.pszText);
        EXPECT_EQ(test.pszExpected, scrubber.Clean(test.pszText));
    }
}

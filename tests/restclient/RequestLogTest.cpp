// The client's request log: one line per request, by severity, redacted, and
// never a reason for a request to fail (every other test here has no log; a
// log that cannot be written: HostileNeighbourE2ETest).
#include <gtest/gtest.h>

#include <regex>

#include "restclient/RequestLog.h"
#include "restclient/SecretScrubber.h"
#include "tests/restclient/ScriptedTransport.h"
#include "tests/support/ScopedTempDir.h"

using afs_rest_test::Answer;
using afs_rest_test::ScriptedBackend;

namespace {

const char* kEmptyList = R"({"metadata": {}, "entities": []})";

TEST(RequestLog, OneLinePerRequestAtOrAboveTheSeverityInANewDirectory) {
    CScopedTempDir tempDir;
    for (auto severity : {afs_log::trace, afs_log::info, afs_log::warning}) {
        // With and without the trailing slash: the file goes into the folder itself.
        const std::string directory = tempDir.GetPath() + "/" + std::to_string(severity) + "/nested/logs/";
        ScriptedBackend backend(
            0, severity == afs_log::trace ? directory.substr(0, directory.size() - 1) : directory, severity);
        backend.Script(Answer(200, kEmptyList));
        backend.Script(Answer(404, R"({"message_list": [{"message": "gone"}]})"));
        backend.Script(Answer(0, "Connection refused"));
        backend->get_mount_target(boost::none, boost::none);
        EXPECT_THROW(backend->delete_mount_target_snapshot("s1", true), NutanixException);
        EXPECT_THROW(backend->get_mount_target_snapshot(boost::none, boost::none, boost::none),
                     NutanixException);
        const std::string ok = severity == afs_log::warning
                                   ? ""
                                   : "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z job=job-1 POST "
                                     "mount_targets/list status=200 bytes=32 ms=\\d+\n";
        EXPECT_TRUE(std::regex_match(
            CScopedTempDir::ReadFile(directory + "afs-rest-client.log"),
            std::regex(ok + "\\S+ job=job-1 DELETE mount_target_snapshots/s1\\?wait_for_completion="
                            "true status=404 bytes=\\d+ ms=\\d+\n"
                            "\\S+ job=job-1 POST mount_target_snapshots/list status=0 bytes=0 "
                            "ms=\\d+ cause=\"Connection refused\"\n")))
            << CScopedTempDir::ReadFile(directory + "afs-rest-client.log");
    }
}

TEST(RequestLog, SecretLookingQueryValuesAreRedacted) {
    const std::pair<const char*, const char*> cases[] = {
        {"a/b?page_size=3000&page_token=abc", "a/b?page_size=3000&page_token=abc"},
        {"a?password=hunter2&x=1&api_key=k&access_token=t&Session=s&flag",
         "a?password=***&x=1&api_key=***&access_token=***&Session=***&flag"},
        {"a?", "a?"},
    };
    for (const auto& test : cases) EXPECT_EQ(test.second, afs_rest::CRequestLog::RedactQuery(test.first));
}

TEST(Credentials, ScrubbedAtAnyLengthWithTheirBase64AndControlCharactersEscaped) {
    const afs_rest::CSecretScrubber scrubber("backup-admin", "pw");
    const struct {
        const char* pszText;
        const char* pszExpected;
    } kCases[] = {
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

}  // namespace

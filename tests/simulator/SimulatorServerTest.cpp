// afs-sim as a process, asked one scripted request at a time: what the
// end-to-end suites rely on without being able to tell it apart.
#include <gtest/gtest.h>
#include <httplib.h>
#include <simdjson.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "tests/support/ScopedTempDir.h"
#include "tools/afs-sim/SimulatorProcess.h"

namespace afs_test {
namespace {

using afs_sim::CSimulatorProcess;

// One request and what it must answer. szPath null: another look at the last
// answer; "+" before it: write that file below the shares (szBody its text)
// instead. szBody null: GET, "DELETE": DELETE, "snap NAME SHARE": the body
// creating a snapshot. szValue is the minified JSON at szPointer ("<none>":
// absent), or "=NAME" to keep the text found there as $NAME.
struct Step {
    const char* szPath;
    const char* szBody;
    int nStatus;
    const char* szPointer = nullptr;
    const char* szValue = nullptr;
};

// clang-format off
const Step kSteps[] = {
    {"mount_targets/list", "{}", 200, "/entities/0/metadata/uuid", "=share1"},
    {"mount_target_snapshots", "snap s1 $share1", 202, "/metadata/uuid", "=s1"},
    {"mount_target_snapshots", "snap .. $share1", 400}, {"mount_target_snapshots",
     "snap ../../escape $share1", 400},
    // Four new objects: UUIDs of at most three, pages of at most two (the
    // command line wins over the scenario file), each page refused once
    // first (the scenario file's knob).
    {"+share1/new/f0.txt", "x", 0}, {"+share1/new/f1.txt", "x", 0}, {"+share1/new/f2.txt", "x", 0},
    {"mount_target_snapshots", "snap s2 $share1", 202, "/metadata/uuid", "=s2"},
    {"mount_target_snapshots/incremental_diff",
     "{\"older_snapshot_uuid\":\"$s1\",\"newer_snapshot_uuid\":\"$s2\"}", 200,
     "/uuid_list/0", "=d0"},
    {nullptr, nullptr, 200, "/uuid_list/1", "=d1"}, {nullptr, nullptr, 200, "/uuid_list/2", "<none>"},
    {"mount_target_snapshots/diff/$d0?page_size=100", nullptr, 200, "",
     "{\"is_last_page\":false,\"should_retry_page\":true,\"next_page_token\":\"\",\"object_list\":[]}"},
    {"mount_target_snapshots/diff/$d0?page_size=100", nullptr, 200, "/object_list/1/path",
     "\"/.snapshot/s2/new/f0.txt\""},
    {"mount_target_snapshots/diff/$d0?page_size=100&page_token=2", nullptr, 200, "/should_retry_page",
     "true"},
    {"mount_target_snapshots/diff/$d0?page_size=100&page_token=2", nullptr, 200, "/object_list/0/path",
     "\"/.snapshot/s2/new/f1.txt\""},
    {"mount_target_snapshots/diff/$d1", nullptr, 200, "/should_retry_page", "true"},
    {"mount_target_snapshots/diff/$d1", nullptr, 200, "/object_list/0/path", "\"/.snapshot/s2/new/f2.txt\""},
    // A list request of another kind.
    {"mount_target_snapshots/list", "{\"kind\":\"mount_target\"}", 400},
    // A status fault on the nth request of its operation only, named by its
    // former name; an unknown name is refused and the fault stays.
    {"/_sim/scenario", "{\"faults\":[{\"operation\":\"list_snapshots\",\"nth\":2,\"status\":500}]}", 200},
    {"/_sim/scenario", "{\"faults\":[{\"operation\":\"list_snapshot\"}]}", 400},
    {"mount_target_snapshots/list", "{}", 200}, {"mount_target_snapshots/list", "{}", 500},
    {"mount_target_snapshots/list", "{}", 200},
    {"mount_target_snapshots/$s1", "DELETE", 200, "/status", "\"DELETED\""},
    {"mount_target_snapshots/$s1", "DELETE", 404},
    // A busy server, 21 neighbours' snapshots before s2: every other
    // listing moves before its second page: busy_19 moves onto it (the total
    // stays), then one more, then one fewer.
    {"/_sim/scenario", "{\"busy_snapshots\":21,\"busy_partners\":2}", 200},
    {"partner_servers/list", "{}", 200, "/entities/1/status/name", "\"busy_partner_1\""},
    {"mount_target_snapshots/list", "{}", 200, "/entities/19/status/name", "\"busy_19\""},
    {nullptr, nullptr, 200, "/entities/0/status/resources/mount_target_uuid", "\"$share1\""},
    {"mount_target_snapshots/list", "{\"offset\":20}", 200, "/entities/0/status/name", "\"busy_19\""},
    {nullptr, nullptr, 200, "/metadata/total_matches", "22"}, {"mount_target_snapshots/list", "{}", 200},
    {"mount_target_snapshots/list", "{\"offset\":20}", 200, "/metadata/total_matches", "22"},
    {"mount_target_snapshots/list", "{}", 200}, {"mount_target_snapshots/list", "{\"offset\":20}", 200,
     "/metadata/total_matches", "23"},
    {"mount_target_snapshots/list", "{}", 200}, {"mount_target_snapshots/list", "{\"offset\":20}", 200},
    {"mount_target_snapshots/list", "{}", 200}, {"mount_target_snapshots/list", "{\"offset\":20}", 200,
     "/metadata/total_matches", "22"},
};
// clang-format on

std::string Expand(std::string text, const std::map<std::string, std::string>& mapSaved) {
    for (const auto& [strName, strValue] : mapSaved)
        for (size_t u = text.find("$" + strName); u != std::string::npos; u = text.find("$" + strName))
            text.replace(u, strName.size() + 1, strValue);
    return text;
}

TEST(SimulatorServer, AnswersEachRequestAsScriptedAndChangesTheSharesAccordingly) {
    CScopedTempDir tempDir;
    const std::string strShares = tempDir.GetPath() + "/shares";
    tempDir.WriteFile("shares/share1/docs/a.txt", "alpha");
    std::filesystem::create_directories(strShares + "/share2");
    const std::string strScenario = tempDir.WriteFile(
        "scenario.json", "{\"retry_pages\":1,\"page_size_cap\":7,\"objects_per_diff\":1000}");
    std::unique_ptr<CSimulatorProcess> ptrSim;
    ASSERT_EQ("", CSimulatorProcess::Start({"--shares", strShares, "--state", tempDir.GetPath() + "/state",
                                            "--port", "0", "--quiet", "--scenario", strScenario,
                                            "--page-size-cap", "2", "--objects-per-diff", "3"},
                                           ptrSim));
    httplib::Client client(ptrSim->Origin());
    client.set_basic_auth("admin", CSimulatorProcess::kDefaultPassword);
    std::map<std::string, std::string> mapSaved;
    simdjson::dom::parser parser;
    simdjson::dom::element json;
    std::string strAnswer;
    int nStatus = 0;
    for (const Step& step : kSteps) {
        SCOPED_TRACE(std::string(step.szPath ? step.szPath : "(same)") + " " +
                     (step.szPointer ? step.szPointer : ""));
        if (step.szPath != nullptr && step.szPath[0] == '+') {
            tempDir.WriteFile("shares/" + std::string(step.szPath + 1), step.szBody);
            continue;
        }
        if (step.szPath != nullptr) {
            std::string strPath = Expand(step.szPath, mapSaved),
                        strBody = Expand(step.szBody ? step.szBody : "", mapSaved);
            if (strPath[0] != '/') strPath = "/api/nutanix/v3/" + strPath;
            if (strBody.rfind("snap ", 0) == 0) {
                const size_t uBlank = strBody.find(' ', 5);
                strBody = "{\"spec\":{\"name\":\"" + strBody.substr(5, uBlank - 5) +
                          "\",\"resources\":{\"mount_target_uuid\":\"" + strBody.substr(uBlank + 1) + "\"}}}";
            }
            httplib::Result result = step.szBody == nullptr ? client.Get(strPath)
                                     : strBody == "DELETE"
                                         ? client.Delete(strPath)
                                         : client.Post(strPath, strBody, "application/json");
            nStatus = result ? result->status : -1;
            strAnswer = result ? result->body : "";
        }
        EXPECT_EQ(step.nStatus, nStatus) << strAnswer;
        if (step.szPointer != nullptr) {
            simdjson::dom::element found;
            std::string_view text;
            const bool bFound = parser.parse(strAnswer).get(json) == simdjson::SUCCESS &&
                                json.at_pointer(step.szPointer).get(found) == simdjson::SUCCESS;
            if (step.szValue[0] == '=')
                mapSaved[step.szValue + 1] =
                    bFound && found.get(text) == simdjson::SUCCESS ? std::string(text) : "<none>";
            else
                EXPECT_EQ(Expand(step.szValue, mapSaved), bFound ? simdjson::minify(found) : "<none>");
        }
    }
    // Nothing escaped into the shares' folder; s1's copy went with s1.
    EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(strShares), {}));
    EXPECT_FALSE(std::filesystem::exists(strShares + "/share1/.snapshot/s1"));
}

// A caller that dies, killed or crashed, takes its simulator with it: an
// orphan would hold ctest's output pipe open past every timeout.
TEST(SimulatorServer, DiesWithTheProcessThatStartedIt) {
    ASSERT_EQ(0, prctl(PR_SET_CHILD_SUBREAPER, 1));  // the orphan comes to this process, which reaps it
    CScopedTempDir tempDir;
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    const pid_t caller = fork();
    if (caller == 0) {
        std::unique_ptr<CSimulatorProcess> ptrSim;
        CSimulatorProcess::Start({"--shares", tempDir.GetPath(), "--port", "0", "--quiet"}, ptrSim);
        const pid_t sim = ptrSim ? ptrSim->Pid() : -1;
        if (write(fds[1], &sim, sizeof(sim)) == sizeof(sim)) pause();
        _exit(1);
    }
    pid_t sim = -1, reaped = 0;
    if (read(fds[0], &sim, sizeof(sim)) != sizeof(sim)) sim = -1;
    kill(caller, SIGKILL);
    afs_sim::WaitChild(caller);
    ASSERT_GT(sim, 0) << "the caller started no simulator";
    for (int nPolls = 0; reaped == 0 && nPolls < 5000; ++nPolls)  // SIGKILL is quick: a few polls
        if ((reaped = waitpid(sim, nullptr, WNOHANG)) == 0) usleep(1000);
    EXPECT_EQ(sim, reaped) << "the simulator outlived its caller";
    if (reaped != sim) kill(sim, SIGKILL), waitpid(sim, nullptr, 0);
}

}  // namespace
}  // namespace afs_test

// The chain of a backup cycle, checked against a model, as storage engines
// test themselves: random file operations on two shares, random faults of the
// file server, a neighbour's state folder that takes over, killed jobs; one
// afs-scan job per round. After every job that ends well, each share's items,
// applied to the share as the host knew it after its previous good job, must
// give the share as the model says it was at the job's snapshot, and so must
// the snapshot's folder; and the items must be exactly those the server
// reported (ServerItems), none twice. A failure names the seed, the round and
// the first differing path or the items in question; AFS_CHAIN_SEED,
// AFS_CHAIN_ROUNDS, AFS_CHAIN_FILES and AFS_CHAIN_FAULTS replay or soak, and
// AFS_CHAIN_BUSY=1 makes the server a busy one (docs/reliability.md).
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>

#include <cstring>
#include <random>
#include <set>

#include "restclient/RestOperations.h"
#include "tests/e2e/ScanFixture.h"
#include "tools/afs-sim/DiffEngine.h"

namespace afs_test {
namespace {

namespace fs = std::filesystem;

// A share's tree: path below the share root -> kind ('f' file, 'd' folder,
// 'l' symbolic link) and the file's bytes or the link's target.
struct Node {
    char cKind;
    std::string strData;
    bool operator==(const Node& other) const { return cKind == other.cKind && strData == other.strData; }
};
using Tree = std::map<std::string, Node>;

bool ReadNode(const std::string& strPath, Node& node) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(strPath, error);
    if (error || !fs::exists(status)) return false;
    node = fs::is_directory(status) ? Node{'d', ""}
           : fs::is_symlink(status) ? Node{'l', fs::read_symlink(strPath, error).native()}
                                    : Node{'f', ReadWholeFile(strPath)};
    return true;
}

bool Within(const std::string& strPath, const std::string& strTop) {
    return strPath.compare(0, strTop.size(), strTop) == 0 &&
           (strPath.size() == strTop.size() || strPath[strTop.size()] == '/');
}

// Takes `strFrom` and what is below it out of the tree, keyed by `strTo` and the rest of each path.
Tree Detach(Tree& tree, const std::string& strFrom, const std::string& strTo) {
    Tree detached;
    for (auto it = tree.lower_bound(strFrom);
         it != tree.end() && it->first.compare(0, strFrom.size(), strFrom) == 0;)
        Within(it->first, strFrom)
            ? (detached.emplace(strTo + it->first.substr(strFrom.size()), it->second), it = tree.erase(it))
            : ++it;
    return detached;
}

// Moves `strFrom` and what is below it to `strTo` (over what is there), or away when `strTo` is empty.
void MoveSubtree(Tree& tree, const std::string& strFrom, const std::string& strTo) {
    const Tree moved = Detach(tree, strFrom, strTo);
    if (strTo.empty()) return;
    Detach(tree, strTo, "");
    tree.insert(moved.begin(), moved.end());
}

std::string Printable(const std::string& strText, size_t uMax = 60) {
    std::string strOut;
    for (unsigned char c : strText.substr(0, uMax)) {
        char arrEscape[8];
        snprintf(arrEscape, sizeof arrEscape, "\\x%02x", c);
        strOut += c < 0x20 || c >= 0x7f ? std::string(arrEscape) : std::string(1, static_cast<char>(c));
    }
    return strOut;
}

// The first path at which the trees differ, with both sides; empty when equal.
std::string FirstDifference(const Tree& expected, const Tree& actual) {
    const auto [itE, itA] = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    if (itE == expected.end() && itA == actual.end()) return "";
    const std::string& strPath =
        itA == actual.end() || (itE != expected.end() && itE->first <= itA->first) ? itE->first : itA->first;
    auto describe = [&strPath](const Tree& tree) {
        auto it = tree.find(strPath);
        return it == tree.end()
                   ? std::string("nothing")
                   : std::string(1, it->second.cKind) + " '" + Printable(it->second.strData) + "'";
    };
    return "'" + Printable(strPath) + "': the model has " + describe(expected) + ", here " + describe(actual);
}

// An item as a row of the scan database: change type, path, old path, then
// is_dir, size, inode, mtime and ctime. Not atime: the server's copy of a
// file for its snapshot reads it, which moves the access time.
std::string ItemText(const std::vector<std::string>& listItem) {
    std::string strText = listItem[0] + " " + listItem[1] + (listItem[2].empty() ? "" : " <- " + listItem[2]);
    for (size_t u = 3; u < listItem.size(); ++u) strText += (u == 3 ? " (" : " ") + listItem[u];
    return strText + ")";
}

// The items a job must hold for a share: the difference the file server
// reports between the share at the history's last good job (`older`) and
// now, by its own rules (tools/afs-sim/DiffEngine.h). Those rules rest on
// inodes and times, which the model's trees do not hold, so both sides are
// what lstat showed of the share: a folder whose entries changed, the other
// names of a hard link and a file rewritten with the same bytes are MODIFY;
// a moved folder brings a RENAME of every entry below it; a rename onto a
// name in use is a MODIFY of that name and a DELETE of the old one. Nothing
// is loose: an item beyond these, or one twice, is a fault of the hand-over.
// An item of a difference carries the attributes the server reported (a
// DELETE those of the older entry); a listed one those of the snapshot's copy.
std::multiset<std::string> ServerItems(const afs_sim::Manifest& older, const afs_sim::Manifest& newer,
                                       const std::string& strPrefix) {
    static const char* const kTypes[] = {"ADD", "MODIFY", "RENAME", "DELETE"};
    std::multiset<std::string> setItems;
    for (const afs_sim::DiffObject& object : afs_sim::ComputeDifference(older, newer, {})) {
        const afs_sim::ManifestEntry& entry = object.entry;
        setItems.insert(ItemText(
            {kTypes[static_cast<int>(object.eOperation)], strPrefix + "/" + entry.strPath,
             object.strOldPath.empty() ? "" : strPrefix + "/" + object.strOldPath,
             entry.eType == afs_sim::EObjectType::eDirectory ? "1" : "0", std::to_string(entry.llSize),
             std::to_string(entry.uInode), std::to_string(entry.llModifyNs / 1000000000),
             std::to_string(entry.llChangeNs / 1000000000)}));
    }
    return setItems;
}

std::string Lines(const std::multiset<std::string>& setItems) {
    std::string strOut;
    for (const std::string& strItem : setItems) strOut += "\n  " + Printable(strItem, 300);
    return strOut;
}

long long Knob(const char* pszName, long long llDefault) {
    const char* pszValue = std::getenv(pszName);
    return pszValue ? std::atoll(pszValue) : llDefault;
}

// A server fault for one round; in the scenario $N is a small number, $OP an
// operation, $PID afs-scan's process and $SIM the simulator's.
enum EExpect {
    eMustSucceed,  // the job must end ok (0)
    eMayFail,      // it may fail; when it ends ok, the chain must hold
    eSilentLoss,   // the server leaves out changes the job cannot notice: verify must
};
enum ETwist { eNone, eBadName, eSecondState, eRerunFailedJob };
struct ChainFault {
    const char* pszName;
    const char* pszScenario;
    EExpect eExpect;
    ETwist eTwist;
};
// clang-format off
const ChainFault kChainFaults[] = {
    {"none", "{}", eMustSucceed, eNone},
    {"odd_spellings", R"({"odd_spellings":1})", eMayFail, eNone},
    {"rename_without_old_path", R"({"rename_without_old_path":1})", eMayFail, eNone},
    {"foreign_paths_1", R"({"foreign_paths":1})", eMayFail, eNone},
    {"foreign_paths_2", R"({"foreign_paths":2})", eMayFail, eNone},
    {"odd_paths_1", R"({"odd_paths":1})", eMayFail, eNone},
    {"odd_paths_2", R"({"odd_paths":2})", eMayFail, eNone},
    {"odd_paths_3", R"({"odd_paths":3})", eMayFail, eNone},
    {"odd_paths_4", R"({"odd_paths":4})", eMayFail, eNone},
    {"odd_paths_5", R"({"odd_paths":5})", eMustSucceed, eNone},  // each item twice: stored once
    {"odd_paths_6", R"({"odd_paths":6})", eMayFail, eNone},
    {"snapshot_answer_lost", R"({"faults":[{"operation":"create_mount_target_snapshot","nth":$N,)"
     R"("kind":"drop_after"}]})", eMustSucceed, eNone},
    {"partner_answer_lost",
     R"({"partner_conflict":1,"faults":[{"operation":"create_partner_server","kind":"drop_after"}]})",
     eMustSucceed, eNone},
    {"difference_answer_lost", R"({"faults":[{"operation":"create_mount_target_snapshot_incremental_diff",)"
     R"("nth":$N,"kind":"drop_after"}]})", eMayFail, eNone},
    {"snapshot_409", R"({"faults":[{"operation":"create_mount_target_snapshot","nth":$N,"status":409}]})",
     eMayFail, eNone},
    {"deletes_fail", R"({"faults":[{"operation":"delete_mount_target_snapshot","count":10,"status":500}]})",
     eMustSucceed, eNone},
    {"failover_window", R"({"faults":[{"operation":"*","nth":$N,"status":503}]})", eMustSucceed, eNone},
    {"page_500", R"({"faults":[{"operation":"get_mount_target_snapshot_diff_page","nth":$N,"status":500}]})",
     eMayFail, eNone},
    {"page_truncated", R"({"faults":[{"operation":"get_mount_target_snapshot_diff_page","nth":$N,)"
     R"("kind":"truncate"}]})", eMayFail, eNone},
    {"page_cut", R"({"faults":[{"operation":"get_mount_target_snapshot_diff_page","nth":$N,)"
     R"("kind":"drop_mid_body"}]})", eMayFail, eNone},
    {"page_wrong_type", R"({"faults":[{"operation":"get_mount_target_snapshot_diff_page","nth":$N,)"
     R"("kind":"wrong_type","member":"inode_number"}]})", eMayFail, eNone},
    {"afs_scan_killed", R"({"faults":[{"operation":"$OP","nth":$N,"kind":"kill","pid":$PID}]})", eMayFail,
     eNone},
    {"server_restarted", R"({"faults":[{"operation":"get_mount_target_snapshot_diff_page","nth":$N,)"
     R"("kind":"kill","pid":$SIM}]})", eMustSucceed, eNone},
    {"drop_object", R"({"drop_object":$N})", eSilentLoss, eNone},
    {"omit_new_children", R"({"omit_new_children":1})", eSilentLoss, eNone},
    {"name_not_utf8", "{}", eMustSucceed, eBadName},
    {"second_state_folder", "{}", eMayFail, eSecondState},
    {"failed_job_rerun", R"({"faults":[{"operation":"delete_mount_target_snapshot","count":10,)"
     R"("status":500}]})", eMayFail, eRerunFailedJob},
};
// clang-format on
const char* const kShares[] = {"share1", "share2"};

// One state folder's history: the host's view of each share after its last good job.
struct History {
    std::string strState, strDb;
    std::map<std::string, Tree> mapShares;                  // shares with a good job
    std::map<std::string, afs_sim::Manifest> mapManifests;  // and what lstat showed of them then
    long long llFailedJob = 0;                              // the last job that failed
};

class ChainTest : public CScanFixture, public ::testing::WithParamInterface<uint64_t> {
protected:
    // Random operations on one share, mirrored in mapModel[strShare].
    std::string Name() {
        static const char* const kParts[] = {
            "a", "b c", "tab\there", "new\nline", "\xc3\xbc", "\xe6\x97\xa5\xe6\x9c\xac", " x", "d.txt"};
        return kParts[rng() % 8] + std::to_string(++nNames);
    }
    std::string Bytes() {
        std::string strText(rng() % 4 == 0 ? rng() % 5000 : rng() % 40, '\0');
        for (char& c : strText) c = static_cast<char>(rng());
        return strText;
    }
    // A random entry of the share ("" when there is none) of a kind in `pszKinds`.
    std::string Pick(const Tree& tree, const char* pszKinds) {
        for (int nTry = 0; nTry < 20 && !tree.empty(); ++nTry) {
            auto it = std::next(tree.begin(), static_cast<long>(rng() % tree.size()));
            if (std::strchr(pszKinds, it->second.cKind)) return it->first;
        }
        return "";
    }
    std::string NewPath(const Tree& tree) {
        const std::string strDir = Pick(tree, "d");
        return (strDir.empty() ? "" : strDir + "/") + Name();
    }
    void Write(const std::string& strFile, const std::string& strText, int nFlags) {
        const int nFd = open(strFile.c_str(), O_WRONLY | O_CREAT | nFlags, 0644);
        ASSERT_GE(nFd, 0) << strFile;
        ASSERT_EQ(static_cast<ssize_t>(strText.size()), write(nFd, strText.data(), strText.size()));
        close(nFd);
    }
    void Operate(const std::string& strShare) {
        Tree& tree = mapModel[strShare];
        const std::string strBase = Share(strShare) + "/";
        const std::string strFile = Pick(tree, "f"), strAny = Pick(tree, "fdl"), strNew = NewPath(tree);
        const unsigned uOperation = rng() % 13;
        switch (uOperation) {
            case 0:  // a new file or folder
                if (rng() % 3 == 0) {
                    ASSERT_EQ(0, mkdir((strBase + strNew).c_str(), 0755));
                    tree[strNew] = {'d', ""};
                    break;
                }
                [[fallthrough]];
            case 1: {
                const std::string strText = Bytes();
                ASSERT_NO_FATAL_FAILURE(Write(strBase + strNew, strText, O_EXCL));
                tree[strNew] = {'f', strText};
                break;
            }
            case 2: {  // in place, appended, truncated, or the same size with the times put back
                if (strFile.empty()) break;
                const std::string strPath = strBase + strFile;
                std::string& strData = tree[strFile].strData;
                struct stat before {};
                ASSERT_EQ(0, lstat(strPath.c_str(), &before));
                const std::string strText = Bytes();
                const unsigned uHow = rng() % 4;
                if (uHow == 0) {
                    ASSERT_NO_FATAL_FAILURE(Write(strPath, strText, O_APPEND));
                    strData += strText;
                } else if (uHow == 1) {
                    strData.resize(strData.size() / 2);
                    ASSERT_EQ(0, truncate(strPath.c_str(), static_cast<off_t>(strData.size())));
                } else {
                    for (size_t u = 0; u < strData.size(); ++u)
                        strData[u] = static_cast<char>(strData[u] ^ (1 + u % 7));
                    ASSERT_NO_FATAL_FAILURE(Write(strPath, strData, uHow == 3 ? O_TRUNC : 0));
                    const timespec arrTimes[2] = {before.st_atim, before.st_mtim};
                    if (uHow == 3) {
                        ASSERT_EQ(0, utimensat(AT_FDCWD, strPath.c_str(), arrTimes, 0));
                    }
                }
                if (before.st_nlink > 1)  // hard links see the same bytes
                    for (auto& [strOther, node] : tree)
                        if (node.cKind == 'f' && strOther != strFile &&
                            Inode(strBase + strOther) == before.st_ino)
                            node.strData = strData;
                break;
            }
            case 3:
            case 4: {  // a rename or move, maybe onto a file that is there
                if (strAny.empty()) break;
                const std::string strTo =
                    strFile.empty() || rng() % 3 || tree[strAny].cKind == 'd' ? strNew : strFile;
                // rename() leaves two names of one file as they are
                if (Within(strTo, strAny) || Inode(strBase + strTo) == Inode(strBase + strAny)) break;
                ASSERT_EQ(0, rename((strBase + strAny).c_str(), (strBase + strTo).c_str()))
                    << Printable(strAny);
                MoveSubtree(tree, strAny, strTo);
                break;
            }
            case 5:  // a deletion
                if (strAny.empty()) break;
                fs::remove_all(strBase + strAny);
                MoveSubtree(tree, strAny, "");
                break;
            case 6:  // a hard link
                if (strFile.empty()) break;
                ASSERT_EQ(0, link((strBase + strFile).c_str(), (strBase + strNew).c_str()));
                tree[strNew] = tree[strFile];
                break;
            case 7: {  // a symbolic link, to an entry or to nothing
                const std::string strTarget = rng() % 2 ? strAny + "x" : "../" + strAny;
                ASSERT_EQ(0, symlink(strTarget.c_str(), (strBase + strNew).c_str()));
                tree[strNew] = {'l', strTarget};
                break;
            }
            case 8: {  // two names swapped
                const std::string strOther = Pick(tree, "fdl");
                if (strAny.empty() || strOther.empty() || Within(strAny, strOther) ||
                    Within(strOther, strAny))
                    break;
                ASSERT_EQ(0, renameat2(AT_FDCWD, (strBase + strAny).c_str(), AT_FDCWD,
                                       (strBase + strOther).c_str(), RENAME_EXCHANGE));
                MoveSubtree(tree, strAny, strAny + "\x01swap");
                MoveSubtree(tree, strOther, strAny);
                MoveSubtree(tree, strAny + "\x01swap", strOther);
                break;
            }
            case 9: {  // a file becomes a folder with an entry, or a folder a file
                if (strAny.empty()) break;
                fs::remove_all(strBase + strAny);
                MoveSubtree(tree, strAny, "");
                if (rng() % 2) {
                    ASSERT_NO_FATAL_FAILURE(Write(strBase + strAny, "was a folder", O_EXCL));
                    tree[strAny] = {'f', "was a folder"};
                } else {
                    ASSERT_EQ(0, mkdir((strBase + strAny).c_str(), 0755));
                    ASSERT_NO_FATAL_FAILURE(Write(strBase + strAny + "/inner", "inside", O_EXCL));
                    tree[strAny] = {'d', ""};
                    tree[strAny + "/inner"] = {'f', "inside"};
                }
                break;
            }
            default:
                break;  // nothing: some rounds change little
        }
    }
    // llFiles files, fifty to a folder.
    void Populate(const std::string& strShare, long long llFiles) {
        Tree& tree = mapModel[strShare];
        std::string strDir;
        for (long long i = 0; i < llFiles; ++i) {
            if (i % 50 == 0) {
                strDir = Name();
                ASSERT_TRUE(fs::create_directories(Share(strShare + "/" + strDir)));
                tree[strDir] = {'d', ""};
            }
            const std::string strPath = strDir + "/" + Name(), strText = Bytes();
            ASSERT_NO_FATAL_FAILURE(Write(Share(strShare + "/" + strPath), strText, O_EXCL));
            tree[strPath] = {'f', strText};
        }
    }
    // 0 when there is no entry.
    static ino_t Inode(const std::string& strPath) {
        struct stat attributes {};
        return lstat(strPath.c_str(), &attributes) == 0 ? attributes.st_ino : 0;
    }

    // Whether the process has ended and waits to be reaped.
    static bool Ended(pid_t pid) {
        return ReadWholeFile("/proc/" + std::to_string(pid) + "/stat").find(") Z ") != std::string::npos;
    }
    // One job of `history` on both shares, afs-scan started held, so that a
    // kill rule can name its process; the simulator is started again on its
    // port should a rule kill it.
    ProgramResult RunJob(const History& history, std::string strScenario,
                         const std::vector<std::string>& listExtra) {
        std::vector<std::string> listArgv{"/bin/sh", "-c", "read -r _ < \"$0\" && exec \"$@\"",
                                          strRoot + "/gate"};
        std::vector<std::string> listExtraArgs{"--state",     history.strState, "--db",
                                               history.strDb, "--summary-json", strRoot + "/summary.json"};
        listExtraArgs.insert(listExtraArgs.end(), listExtra.begin(), listExtra.end());
        for (const std::string& strArg : ScanArgs({"share1", "share2"}, listExtraArgs))
            listArgv.push_back(strArg);
        fs::remove(strRoot + "/gate");
        fs::remove(strRoot + "/summary.json");
        EXPECT_EQ(0, mkfifo((strRoot + "/gate").c_str(), 0600));
        CChildProgram job(listArgv, {std::string("AFS_PASSWORD=") + kPassword}, strRoot + "/job");
        const bool bSimulatorDies = strScenario.find("$SIM") != std::string::npos;
        for (auto [pszFrom, strTo] : {std::pair<const char*, std::string>{"$PID", std::to_string(job.Pid())},
                                      {"$SIM", std::to_string(ptrSim->Pid())}})
            for (size_t u = strScenario.find(pszFrom); u != std::string::npos; u = strScenario.find(pszFrom))
                strScenario.replace(u, 4, strTo);
        EXPECT_EQ(200, Api("POST", "/_sim/scenario", strScenario).status) << strScenario;
        std::ofstream(strRoot + "/gate") << "go\n";
        while (bSimulatorDies && !Ended(job.Pid())) {
            if (Ended(ptrSim->Pid())) {
                ptrSim.reset();
                StartSimulator();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const ProgramResult run = job.Wait();
        if (!ptrSim) StartSimulator();
        return run;
    }

    // The host's view of the share after the job: its items applied to the
    // view after the previous good job as one difference between two trees,
    // old side first (deletions and rename sources, deepest first), then new
    // side (rename targets, shallowest first), each path then read from the
    // job's snapshot. Item by item in the server's order a swap of two names
    // could not be applied at all.
    Tree Replay(Tree tree, const std::string& strShare, const std::string& strSnapshot,
                const std::vector<std::vector<std::string>>& listItems) {
        const std::string strPrefix = "/127.0.0.1/" + strShare;
        auto relative = [&](const std::string& strPath) {
            return strPath.size() <= strPrefix.size() ? std::string() : strPath.substr(strPrefix.size() + 1);
        };
        std::map<std::string, std::string, std::greater<>> mapOldSide;  // old path -> new path ("" deleted)
        std::set<std::string> setRead;
        for (const std::vector<std::string>& listItem : listItems) {
            const std::string &strType = listItem[0], &strPath = listItem[1], &strOld = listItem[2];
            if (!Within(strPath, strPrefix)) continue;
            if (strType == "DELETE") mapOldSide[relative(strPath)] = "";
            if (strType == "RENAME" && Within(strOld, strPrefix))
                mapOldSide[relative(strOld)] = relative(strPath);
            if (strType != "DELETE") setRead.insert(relative(strPath));
        }
        std::map<std::string, Tree> mapDetached;  // new path -> the subtree that goes there
        for (const auto& [strOld, strNew] : mapOldSide)
            mapDetached[strNew].merge(Detach(tree, strOld, strNew));
        mapDetached.erase("");
        for (auto& [strNew, detached] : mapDetached) {
            Detach(tree, strNew, "");
            tree.merge(detached);
        }
        for (const std::string& strAt : setRead) {
            if (strAt.empty()) continue;  // the share root is no entry
            Node node;
            if (ReadNode(strSnapshot + "/" + strAt, node))
                tree[strAt] = node;
            else
                tree.erase(strAt);
        }
        return tree;
    }

    std::mt19937_64 rng;
    std::map<std::string, Tree> mapModel;  // each share as it is now
    long long nNames = 0;
    // AFS_CHAIN_BUSY=1: under every fault, neighbours' snapshots and partner
    // servers that come and go while the lists are paged, and a retry for
    // every difference page.
    const bool bBusy = Knob("AFS_CHAIN_BUSY", 0) != 0;
};

TEST_P(ChainTest, EveryGoodJobReplaysToItsSnapshot) {
    const uint64_t uSeed = GetParam();
    const long long llRounds = Knob("AFS_CHAIN_ROUNDS", 25), llFiles = Knob("AFS_CHAIN_FILES", 20);
    rng.seed(uSeed);
    for (const char* pszShare : kShares) {
        fs::create_directories(Share(pszShare));
        ASSERT_NO_FATAL_FAILURE(Populate(pszShare, llFiles));
        for (int i = 0; i < 10; ++i) ASSERT_NO_FATAL_FAILURE(Operate(pszShare));
    }
    WriteMountTable({"share1", "share2"});
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--page-size-cap", "3"}));
    // Started again, it must listen where afs-scan's --server points.
    listSimulatorArgs.insert(listSimulatorArgs.end(),
                             {"--port", ptrSim->Origin().substr(ptrSim->Origin().rfind(':') + 1)});
    History histories[2] = {{strStateDir, strDb, {}, {}, 0},
                            {strRoot + "/neighbour-state", strRoot + "/neighbour.db", {}, {}, 0}};
    std::vector<std::string> listBadNames;
    // AFS_CHAIN_FAULTS=name,name... draws from these rows only.
    std::vector<const ChainFault*> listFaults;
    const std::string strOnly =
        std::getenv("AFS_CHAIN_FAULTS") ? "," + std::string(std::getenv("AFS_CHAIN_FAULTS")) + "," : "";
    for (const ChainFault& fault : kChainFaults)
        if (strOnly.empty() || strOnly.find("," + std::string(fault.pszName) + ",") != std::string::npos)
            listFaults.push_back(&fault);
    ASSERT_FALSE(listFaults.empty()) << "AFS_CHAIN_FAULTS names no row";

    for (long long llRound = 1; llRound <= llRounds; ++llRound) {
        const ChainFault& fault = llRound == 1 ? kChainFaults[0] : *listFaults[rng() % listFaults.size()];
        const std::string strWhere =
            "seed " + std::to_string(uSeed) + " round " + std::to_string(llRound) + " (fault " +
            fault.pszName + "; replay: AFS_CHAIN_SEED=" + std::to_string(uSeed) +
            " AFS_CHAIN_ROUNDS=" + std::to_string(llRound) + " AFS_CHAIN_FILES=" + std::to_string(llFiles) +
            (strOnly.empty() ? "" : " AFS_CHAIN_FAULTS=" + strOnly.substr(1, strOnly.size() - 2)) +
            (bBusy ? " AFS_CHAIN_BUSY=1" : "") + " build/tests/chain/e2e_chain)";
        SCOPED_TRACE(strWhere);
        // A name that is not UTF-8 costs share1 its difference, this round and the next.
        const bool bBadNameNear = !listBadNames.empty() || fault.eTwist == eBadName;
        for (const std::string& strBad : listBadNames) {
            fs::remove(Share("share1/" + strBad));
            mapModel["share1"].erase(strBad);
        }
        listBadNames.clear();
        for (const char* pszShare : kShares)
            for (unsigned uOps = rng() % 6; uOps > 0; --uOps) ASSERT_NO_FATAL_FAILURE(Operate(pszShare));
        if (fault.eTwist == eBadName) {
            listBadNames.push_back("bad\xff" + std::to_string(llRound));
            ASSERT_NO_FATAL_FAILURE(Write(Share("share1/" + listBadNames.back()), "odd", O_EXCL));
            mapModel["share1"][listBadNames.back()] = {'f', "odd"};
        }
        History& history = histories[fault.eTwist == eSecondState ? 1 : 0];
        std::string strScenario = fault.pszScenario;
        for (size_t u = strScenario.find("$N"); u != std::string::npos; u = strScenario.find("$N"))
            strScenario.replace(u, 2, std::to_string(1 + rng() % 3));
        for (size_t u = strScenario.find("$OP"); u != std::string::npos; u = strScenario.find("$OP"))
            strScenario.replace(u, 3,
                                afs_rest::kRestOperations[rng() % afs_rest::kRestOperationCount].pszName);
        if (bBusy)
            strScenario.insert(1, std::string(R"("busy_snapshots":25,"busy_partners":25,"retry_pages":1)") +
                                      (strScenario == "{}" ? "" : ","));
        // Only where the server goes away for a while: every wait costs seconds.
        const bool bWait = std::string(fault.pszName) == "failover_window" ||
                           std::string(fault.pszName) == "server_restarted";
        // Busy: one re-request allowed a page, for a server that asks for one of every page.
        WriteSettings(bWait ? 30 : 0, 60, bBusy ? "[FileSystemAgent]\nMaxScanRetries = 1\n" : "");
        std::vector<std::string> listExtra;
        if (fault.eTwist == eRerunFailedJob && history.llFailedJob > 0)
            listExtra = {"--job-id", std::to_string(history.llFailedJob)};
        // The neighbour takes over under the number of our last good job: our
        // snapshots go, one of that name comes back with changes we have not stored.
        if (fault.eTwist == eSecondState)
            listExtra = {"--take-over", "--job-id",
                         Rows("SELECT max(id) FROM jobs WHERE status = 'ok'", SQLITE_OPEN_READONLY,
                              histories[0].strDb)[0][0]};
        // A history has no database before its first job.
        auto rows = [&history, this](const std::string& strSql) {
            return Rows(strSql, SQLITE_OPEN_READONLY, history.strDb, true);
        };
        const size_t uGoodJobs = rows("SELECT id FROM jobs WHERE status = 'ok'").size();
        const ProgramResult run = RunJob(history, strScenario, listExtra);
        const std::string strRun =
            "exit " + std::to_string(run.nExitStatus) + "\n" + run.strStdout + run.strStderr;
        ASSERT_NO_FATAL_FAILURE(Arm("{}"));
        if (fault.eExpect == eMustSucceed && &history == &histories[0]) {
            ASSERT_EQ(0, run.nExitStatus) << strRun;
        }
        // Being busy is normal for a file server: it must cost no share its
        // difference, where the fault itself does not (odd paths, pages lost,
        // a restart that forgets the differences computed).
        if (bBusy && !bBadNameNear && fault.eExpect == eMustSucceed &&
            std::string(fault.pszName) != "server_restarted") {
            ASSERT_EQ(std::string::npos, strRun.find("its snapshot difference could not be read")) << strRun;
        }
        if (run.nExitStatus != 0 && run.nExitStatus != 3) {
            ASSERT_EQ(uGoodJobs, rows("SELECT id FROM jobs WHERE status = 'ok'").size())
                << "a job that did not end well left a good record\n"
                << strRun;
            const auto listFailed = rows("SELECT max(id) FROM jobs WHERE status = 'failed'");
            if (!listFailed.empty() && !listFailed[0][0].empty())
                history.llFailedJob = std::stoll(listFailed[0][0]);
            continue;
        }
        simdjson::dom::parser parser;
        const simdjson::dom::element summary = parser.parse(ReadWholeFile(strRoot + "/summary.json"));
        const long long llJob = summary["job_id"].get_int64();
        const auto listItems = rows(
            "SELECT change_type, path, old_path, is_dir, size, inode, mtime, ctime "
            "FROM items WHERE job_id = " +
            std::to_string(llJob));
        for (const auto& listItem : listItems)
            ASSERT_TRUE(Within(listItem[1], "/127.0.0.1/share1") || Within(listItem[1], "/127.0.0.1/share2"))
                << Printable(listItem[1]) << " names no share\n"
                << strRun;
        bool bLost = false;
        for (simdjson::dom::element share : summary["shares"].get_array()) {
            const std::string strMount(share["mount_path"].get_string().value()),
                strMode(share["mode"].get_string().value());
            const std::string strShare = strMount.substr(strMount.rfind('/') + 1);
            std::string_view status = "ok";
            if (share["status"].get(status) == simdjson::SUCCESS && status != "ok")
                continue;  // partial: no reference
            const Tree& truth = mapModel[strShare];
            const std::string strSnapshot = SnapPath(strShare, llJob);
            // The snapshot's folder as lstat shows it, its top-level ".snapshot" left out.
            afs_sim::Manifest listed;
            ASSERT_EQ("", afs_sim::CaptureManifest(strSnapshot, listed));
            Tree onDisk;
            for (const afs_sim::ManifestEntry& entry : listed)
                ReadNode(strSnapshot + "/" + entry.strPath, onDisk[entry.strPath]);
            const std::string strOnDisk = FirstDifference(truth, onDisk);
            ASSERT_EQ("", strOnDisk) << "job " << llJob << ": snapshot folder " << strSnapshot
                                     << " differs at " << strOnDisk << "\n"
                                     << strRun;
            // Nothing changes the share while a job runs: lstat now shows it as at the snapshot.
            afs_sim::Manifest manifest;
            ASSERT_EQ("", afs_sim::CaptureManifest(Share(strShare), manifest));
            const std::string strPrefix = "/127.0.0.1/" + strShare;
            // A full listing is the snapshot's copy listed, a snapshot only job no item.
            for (afs_sim::ManifestEntry& entry : listed)  // a listed folder's size is 0
                if (entry.eType == afs_sim::EObjectType::eDirectory) entry.llSize = 0;
            const std::multiset<std::string> setServer =
                strMode == "full listing"
                    ? ServerItems({}, listed, strPrefix)
                    : ServerItems(strMode == "snapshot only" ? manifest : history.mapManifests[strShare],
                                  manifest, strPrefix);
            history.mapManifests[strShare] = manifest;
            std::multiset<std::string> setItems, setExtra, setMissing;
            for (const auto& listItem : listItems)
                if (Within(listItem[1], strPrefix)) setItems.insert(ItemText(listItem));
            std::set_difference(setItems.begin(), setItems.end(), setServer.begin(), setServer.end(),
                                std::inserter(setExtra, setExtra.end()));
            std::set_difference(setServer.begin(), setServer.end(), setItems.begin(), setItems.end(),
                                std::inserter(setMissing, setMissing.end()));
            ASSERT_TRUE(setExtra.empty() && (setMissing.empty() || fault.eExpect == eSilentLoss))
                << "job " << llJob << " (" << strMode << ") of share " << strShare
                << ": items the server did not report, or twice:" << Lines(setExtra)
                << "\nitems it reported that are not there:" << Lines(setMissing) << "\n"
                << strRun;
            if (strMode != "snapshot only") {  // a full job's reference is its snapshot
                const Tree replayed = Replay(strMode == "full listing" ? Tree() : history.mapShares[strShare],
                                             strShare, strSnapshot, listItems);
                const std::string strDifference = FirstDifference(truth, replayed);
                bLost = bLost || !strDifference.empty();
                if (fault.eExpect != eSilentLoss) {
                    ASSERT_EQ("", strDifference) << "job " << llJob << " (" << strMode << ") of share "
                                                 << strShare << " lost a change at " << strDifference << "\n"
                                                 << strRun << "items:" << Lines(setItems);
                }
            }
            history.mapShares[strShare] = truth;
        }
        if (fault.eExpect == eSilentLoss && bLost) {
            ProgramResult verify = Run(ScanArgs(
                {"share1", "share2"},
                {"--state", history.strState, "--db", history.strDb, "--job-id", std::to_string(llJob)}, true,
                {"verify"}));
            EXPECT_EQ(3, verify.nExitStatus) << "verify did not see what the server left out\n"
                                             << verify.strStdout << verify.strStderr;
        }
    }
}

std::vector<uint64_t> Seeds() {
    const long long llSeed = Knob("AFS_CHAIN_SEED", 0);
    return llSeed ? std::vector<uint64_t>{static_cast<uint64_t>(llSeed)} : std::vector<uint64_t>{1, 2, 3};
}
INSTANTIATE_TEST_SUITE_P(Seeds, ChainTest, ::testing::ValuesIn(Seeds()));

}  // namespace
}  // namespace afs_test

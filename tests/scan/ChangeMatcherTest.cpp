// Which reported items cover which true changes of a share: the equivalences
// afs-scan verify accepts, and the misses, wrong kinds and extras it reports.
#include <gmock/gmock.h>

#include <map>
#include <regex>
#include <sstream>

#include "tools/afs-scan/ChangeMatcher.h"

namespace {

struct MatchCase {
    const char* pszName;
    const char* pszTrees;  // "OLDER | NEWER", each "PATH:INODE ...", a directory's PATH ending in '/'
    std::vector<std::string> listTrue;  // "TYPE PATH", "RENAME NEW<-OLD", "+" at the end: content changed too
    std::vector<std::string> listReported;  // a directory's PATH ends in '/'
    std::vector<std::string> listFindings;
};

const MatchCase kCases[] = {
    {"RenameStoredAsAddAndDelete", "a:1 | b:1", {"RENAME b<-a"}, {"ADD b", "DELETE a"}, {}},
    {"DirectoryRenameOnceForTheDirectory",
     "C/:1 C/f:2 C/s/:3 C/s/g:4 | D/:1 D/f:2 D/s/:3 D/s/g:4",
     {"RENAME D<-C", "RENAME D/f<-C/f", "RENAME D/s/g<-C/s/g"},
     {"RENAME D/<-C/"},
     {}},
    {"DirectoryRenameOncePerEntry",
     "C/:1 C/s/:3 C/s/g:4 | D/:1 D/s/:5 D/s/g:4",
     {"RENAME D<-C", "RENAME D/s/g<-C/s/g", "ADD D/s", "DELETE C/s"},
     {"RENAME D/<-C/", "RENAME D/s/<-C/s/", "RENAME D/s/g<-C/s/g"},
     {}},
    {"EntryChangedInARenamedDirectory",
     "C/:1 C/f:2 | D/:1 D/f:2",
     {"RENAME D<-C", "RENAME D/f<-C/f +"},
     {"RENAME D/<-C/"},
     {"missing RENAME D/f<-C/f"}},
    {"EntryMovedOutOfARenamedDirectory",
     "C/:1 C/f:2 | D/:1 E/:3 E/f:2",
     {"RENAME D<-C", "RENAME E/f<-C/f"},
     {"RENAME D/<-C/"},
     {"missing RENAME E/f<-C/f"}},
    {"RenameWithAnotherOldPath", "a:1 | b:1", {"RENAME b<-a"}, {"RENAME b<-z"}, {"missing RENAME b<-a"}},
    {"ModifyStoredAsNothing", "a:1 | a:1", {"MODIFY a"}, {}, {"missing MODIFY a"}},
    {"ModifyStoredAsDelete", "a:1 | a:1", {"MODIFY a"}, {"DELETE a"}, {"missing MODIFY a", "wrong DELETE a"}},
    {"ModifyStoredAsAdd", "a:1 | a:1", {"MODIFY a"}, {"ADD a"}, {}},
    {"NewDirectoryWithoutItsEntries", "| n/:1 n/f:2", {"ADD n", "ADD n/f"}, {"ADD n/"}, {"missing ADD n/f"}},
    {"DeletedDirectoryTakesItsEntries", "d/:1 d/f:2 |", {"DELETE d", "DELETE d/f"}, {"DELETE d/"}, {}},
    {"RenameAwayFromADirectoryThatStayed",
     "C/:1 C/f:2 | C/:1 D/:3",
     {"MODIFY C", "ADD D", "DELETE C/f"},
     {"MODIFY C/", "RENAME D/<-C/"},
     {"missing ADD D", "missing DELETE C/f", "wrong RENAME D<-C"}},
    {"DeleteOfADirectoryThatStayed",
     "C/:1 C/f:2 | C/:1",
     {"MODIFY C", "DELETE C/f"},
     {"MODIFY C/", "DELETE C/"},
     {"missing DELETE C/f", "wrong DELETE C"}},
    {"KindOtherThanTheTreeShows",
     "d/:2 d/f:3 | b:4",
     {"ADD b", "DELETE d", "DELETE d/f"},
     {"ADD b/", "DELETE d"},
     {"missing ADD b", "missing DELETE d", "missing DELETE d/f", "wrong ADD b", "wrong DELETE d"}},
    {"ReplacedPathsDeletedAndAdded",
     "x:1 y/:2 | x:3 y:4",
     {"MODIFY x", "DELETE y", "ADD y"},
     {"DELETE x", "ADD x", "DELETE y/", "ADD y"},
     {}},
    {"RenameOverAnExistingName", "a:1 b:2 | b:1", {"MODIFY b", "DELETE a"}, {"RENAME b<-a"}, {}},
    {"DirectoryRenamedAndANewOneUnderItsName",
     "C/:1 C/f:2 | C/:3 D/:1 D/f:2",
     {"MODIFY C", "ADD D", "RENAME D/f<-C/f"},
     {"RENAME D/<-C/", "ADD C/"},
     {}},
    {"ShareRootAndItsSnapshotFolder",
     "./:1 .snapshot/:9 | ./:1 .snapshot/:9 x:2",
     {},
     {"DELETE ./", "MODIFY .snapshot/", "RENAME x<-."},
     {"wrong DELETE .", "wrong MODIFY .snapshot", "wrong RENAME x<-."}},
    {"ChangeThatIsNone",
     "u:1 | u:1",
     {},
     {"MODIFY u", "ADD gone", "DELETE gone2"},
     {"wrong ADD gone", "extra MODIFY u", "extra DELETE gone2"}},
};

// In NutanixAFSChangeType order.
const char* const kTypeNames[] = {"OTHER", "ADD", "MODIFY", "RENAME", "DELETE"};

ShareChange Parse(const std::string& strText) {
    static const std::regex kItem("([A-Z]+) ([^<]+?)(/?)(?:<-(.+?)/?)?( \\+)?");
    std::smatch match;
    EXPECT_TRUE(std::regex_match(strText, match, kItem)) << strText;
    ShareChange change;
    change.eType =
        static_cast<NutanixAFSChangeType>(std::find(kTypeNames, kTypeNames + 5, match[1].str()) - kTypeNames);
    change.strPath = match[2];
    change.bIsDirectory = match[3].length() > 0;
    change.strOldPath = match[4];
    change.bContentChanged = match[5].matched;
    return change;
}

std::map<std::string, PathState> ParseTree(const std::string& strTree) {
    std::map<std::string, PathState> mapTree;
    std::istringstream entries(strTree);
    for (std::string strEntry; entries >> strEntry;) {
        const size_t uColon = strEntry.rfind(':');
        PathState& state = mapTree[strEntry.substr(0, uColon - (strEntry[uColon - 1] == '/' ? 1 : 0))];
        state = {true, strEntry[uColon - 1] == '/', std::stoull(strEntry.substr(uColon + 1))};
    }
    return mapTree;
}

TEST(ChangeMatcherTest, ReportedItemsCoverTheTrueChanges) {
    for (const MatchCase& matchCase : kCases) {
        SCOPED_TRACE(matchCase.pszName);
        const std::string strTrees = matchCase.pszTrees;
        const size_t uBar = strTrees.find('|');
        const std::map<std::string, PathState> mapTrees[] = {ParseTree(strTrees.substr(0, uBar)),
                                                             ParseTree(strTrees.substr(uBar + 1))};
        CChangeMatcher matcher([&](const std::string& strPath, bool bNewer) {
            const auto it = mapTrees[bNewer].find(strPath);
            return it == mapTrees[bNewer].end() ? PathState() : it->second;
        });
        for (const std::string& strItem : matchCase.listReported) matcher.AddReported(Parse(strItem));
        for (const std::string& strChange : matchCase.listTrue) matcher.AddTrue(Parse(strChange));
        matcher.FinishUnused([](const ShareChange&) { return true; });
        std::vector<std::string> listFindings;
        for (const Finding& finding : matcher.GetFindings()) {
            listFindings.push_back(
                std::string(FindingKindName(finding.eKind)) + " " + kTypeNames[finding.change.eType] + " " +
                finding.change.strPath +
                (finding.change.strOldPath.empty() ? "" : "<-" + finding.change.strOldPath));
        }
        EXPECT_THAT(listFindings, ::testing::ElementsAreArray(matchCase.listFindings));
    }
}

}  // namespace

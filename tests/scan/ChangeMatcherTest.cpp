// Which reported items cover which true changes of a share: the equivalences
// afs-scan verify accepts, and the misses, wrong kinds and extras it reports.
#include <gmock/gmock.h>

#include <map>
#include <regex>

#include "tools/afs-scan/verify/ChangeMatcher.h"

using namespace afs_scan;

namespace {

// Each list ", "-separated.
struct MatchCase {
    const char* pszName;
    const char* pszTrees;     // "OLDER | NEWER", each "PATH:INODE ...", a directory's PATH ending in '/'
    const char* pszTrue;      // "TYPE PATH", "RENAME NEW<-OLD", "+" at the end: content changed too
    const char* pszReported;  // a directory's PATH ends in '/'
    const char* pszFindings;
};

// A directory rename reported once per entry, as afs-sim reports it, is
// VerifyE2ETest's complete difference.
const MatchCase kCases[] = {
    {"RenameStoredAsAddAndDelete", "a:1 | b:1", "RENAME b<-a", "ADD b, DELETE a", ""},
    {"EntryChangedInARenamedDirectory", "C/:1 C/f:2 | D/:1 D/f:2", "RENAME D<-C, RENAME D/f<-C/f +",
     "RENAME D/<-C/", "missing RENAME D/f<-C/f"},
    {"EntryMovedOutOfARenamedDirectory", "C/:1 C/f:2 | D/:1 E/:3 E/f:2", "RENAME D<-C, RENAME E/f<-C/f",
     "RENAME D/<-C/", "missing RENAME E/f<-C/f"},
    {"RenameWithAnotherOldPath", "a:1 | b:1", "RENAME b<-a", "RENAME b<-z", "missing RENAME b<-a"},
    {"ModifyStoredAsDelete", "a:1 | a:1", "MODIFY a", "DELETE a", "missing MODIFY a, wrong DELETE a"},
    {"DeletedDirectoryTakesItsEntries", "d/:1 d/f:2 |", "DELETE d, DELETE d/f", "DELETE d/", ""},
    {"RenameAwayFromADirectoryThatStayed", "C/:1 C/f:2 | C/:1 D/:3", "MODIFY C, ADD D, DELETE C/f",
     "MODIFY C/, RENAME D/<-C/", "missing ADD D, missing DELETE C/f, wrong RENAME D<-C"},
    {"KindOtherThanTheTreeShows", "d/:2 | b:4", "ADD b, DELETE d", "ADD b/, DELETE d",
     "missing ADD b, missing DELETE d, wrong ADD b, wrong DELETE d"},
    // A file and a directory replaced, a RENAME over an existing name.
    {"ReplacedPaths", "x:1 y/:2 a:5 b:6 | x:3 y:4 b:5", "MODIFY x, DELETE y, ADD y, MODIFY b, DELETE a",
     "DELETE x, ADD x, DELETE y/, ADD y, RENAME b<-a", ""},
    // Entries renamed along with their directory, a new directory made under its old name.
    {"DirectoryRenamedAndANewOneUnderItsName", "C/:1 C/f:2 C/s/:3 C/s/g:4 | C/:5 D/:1 D/f:2 D/s/:3 D/s/g:4",
     "MODIFY C, ADD D, RENAME D/f<-C/f, RENAME D/s<-C/s, RENAME D/s/g<-C/s/g", "RENAME D/<-C/, ADD C/", ""},
    {"ShareRootAndItsSnapshotFolder", ".snapshot/:9 | .snapshot/:9 x:2", "",
     "DELETE ./, MODIFY .snapshot/, RENAME x<-.",
     "wrong DELETE ., wrong MODIFY .snapshot, wrong RENAME x<-."},
    {"ChangeThatIsNone", "u:1 | u:1", "", "MODIFY u, ADD gone, DELETE gone2",
     "wrong ADD gone, extra MODIFY u, extra DELETE gone2"},
};

// In NutanixAFSChangeType order.
const char* const kTypeNames[] = {"OTHER", "ADD", "MODIFY", "RENAME", "DELETE"};

std::vector<std::string> Split(const std::string& strList) {
    static const std::regex kPart("[^, ][^,]*");
    return {std::sregex_token_iterator(strList.begin(), strList.end(), kPart), {}};
}

ShareChange Parse(const std::string& strText) {
    static const std::regex kItem("([A-Z]+) ([^<]+?)(/?)(?:<-(.+?)/?)?( \\+)?");
    std::smatch match;
    EXPECT_TRUE(std::regex_match(strText, match, kItem)) << strText;
    const auto eType = std::find(kTypeNames, kTypeNames + 5, match[1].str()) - kTypeNames;
    return {static_cast<NutanixAFSChangeType>(eType), match[2], match[4], match[3].length() > 0,
            match[5].matched};
}

// Looks paths up in "OLDER | NEWER".
FLookUpPath LookUpIn(const std::string& strTrees) {
    static const std::regex kEntry("(\\|)|([^ ]+?)(/?):([0-9]+)");
    std::map<std::pair<bool, std::string>, PathState> mapTrees;
    bool bNewer = false;
    for (std::sregex_iterator it(strTrees.begin(), strTrees.end(), kEntry), end; it != end; ++it) {
        bNewer = bNewer || (*it)[1].matched;
        if ((*it)[4].matched)
            mapTrees[{bNewer, (*it)[2]}] = {true, (*it)[3].length() > 0, std::stoull((*it)[4])};
    }
    return [mapTrees](const std::string& strPath, bool bNewer) {
        const auto it = mapTrees.find({bNewer, strPath});
        return it == mapTrees.end() ? PathState() : it->second;
    };
}

TEST(ChangeMatcherTest, ReportedItemsCoverTheTrueChanges) {
    for (const MatchCase& matchCase : kCases) {
        SCOPED_TRACE(matchCase.pszName);
        CChangeMatcher matcher(LookUpIn(matchCase.pszTrees));
        for (const std::string& strItem : Split(matchCase.pszReported)) matcher.AddReported(Parse(strItem));
        for (const std::string& strChange : Split(matchCase.pszTrue)) matcher.AddTrue(Parse(strChange));
        matcher.FinishUnused([](const ShareChange&) { return true; });
        std::vector<std::string> listFindings;
        for (const Finding& finding : matcher.GetFindings()) {
            const ShareChange& item = finding.change;
            listFindings.push_back(std::string(FindingKindName(finding.eKind)) + " " +
                                   kTypeNames[item.eType] + " " + item.strPath +
                                   (item.strOldPath.empty() ? "" : "<-" + item.strOldPath));
        }
        EXPECT_THAT(listFindings, ::testing::ElementsAreArray(Split(matchCase.pszFindings)));
    }
}

}  // namespace

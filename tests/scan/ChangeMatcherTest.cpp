// Which reported items cover which true changes of a share: the equivalences
// afs-scan verify accepts, and the misses, wrong kinds and extras it reports.
#include <gmock/gmock.h>

#include <regex>

#include "tools/afs-scan/ChangeMatcher.h"

namespace {

struct MatchCase {
    const char* pszName;
    std::vector<std::string> listTrue;      // "TYPE PATH", "RENAME NEW<-OLD", "+" at the end: content changed too
    std::vector<std::string> listReported;  // paths named "gone..." are not in the newer snapshot
    std::vector<std::string> listFindings;
};

const MatchCase kCases[] = {
    {"RenameStoredAsAddAndDelete", {"RENAME b<-a"}, {"ADD b", "DELETE a"}, {}},
    {"DirectoryRenameOnceForTheDirectory", {"RENAME D<-C", "RENAME D/f<-C/f", "RENAME D/s/g<-C/s/g"}, {"RENAME D<-C"}, {}},
    {"DirectoryRenameOncePerEntry", {"RENAME D<-C", "RENAME D/s/g<-C/s/g", "ADD D/s", "DELETE C/s"},
     {"RENAME D<-C", "RENAME D/s<-C/s", "RENAME D/s/g<-C/s/g"}, {}},
    {"EntryChangedInARenamedDirectory", {"RENAME D<-C", "RENAME D/f<-C/f +"}, {"RENAME D<-C"},
     {"missing RENAME D/f<-C/f"}},
    {"EntryMovedOutOfARenamedDirectory", {"RENAME D<-C", "RENAME E/f<-C/f"}, {"RENAME D<-C"}, {"missing RENAME E/f<-C/f"}},
    {"RenameWithAnotherOldPath", {"RENAME b<-a"}, {"RENAME b<-z"}, {"missing RENAME b<-a"}},
    {"ModifyStoredAsNothing", {"MODIFY a"}, {}, {"missing MODIFY a"}},
    {"ModifyStoredAsDelete", {"MODIFY a"}, {"DELETE a"}, {"missing MODIFY a", "wrong DELETE a"}},
    {"ModifyStoredAsAdd", {"MODIFY a"}, {"ADD a"}, {}},
    {"NewDirectoryWithoutItsEntries", {"ADD n", "ADD n/f"}, {"ADD n"}, {"missing ADD n/f"}},
    {"DeletedDirectoryTakesItsEntries", {"DELETE gone", "DELETE gone/f"}, {"DELETE gone"}, {}},
    {"ChangeThatIsNone", {}, {"MODIFY u", "ADD gone", "DELETE gone2"}, {"extra MODIFY u", "wrong ADD gone", "extra DELETE gone2"}},
};

// In NutanixAFSChangeType order.
const char* const kTypeNames[] = {"OTHER", "ADD", "MODIFY", "RENAME", "DELETE"};

ShareChange Parse(const std::string& strText) {
    static const std::regex kItem("([A-Z]+) ([^<]+?)(?:<-(.+?))?( \\+)?");
    std::smatch match;
    EXPECT_TRUE(std::regex_match(strText, match, kItem)) << strText;
    ShareChange change;
    change.eType = static_cast<NutanixAFSChangeType>(std::find(kTypeNames, kTypeNames + 5, match[1].str()) - kTypeNames);
    change.strPath = match[2];
    change.strOldPath = match[3];
    change.bContentChanged = match[4].matched;
    return change;
}

TEST(ChangeMatcherTest, ReportedItemsCoverTheTrueChanges) {
    for (const MatchCase& matchCase : kCases) {
        SCOPED_TRACE(matchCase.pszName);
        CChangeMatcher matcher([](const std::string& strPath) { return strPath.rfind("gone", 0) != 0; });
        for (const std::string& strItem : matchCase.listReported) matcher.AddReported(Parse(strItem));
        for (const std::string& strChange : matchCase.listTrue) matcher.AddTrue(Parse(strChange));
        matcher.FinishUnused([](const ShareChange&) { return true; });
        std::vector<std::string> listFindings;
        for (const Finding& finding : matcher.GetFindings()) {
            listFindings.push_back(std::string(FindingKindName(finding.eKind)) + " " + kTypeNames[finding.change.eType] +
                                   " " + finding.change.strPath +
                                   (finding.change.strOldPath.empty() ? "" : "<-" + finding.change.strOldPath));
        }
        EXPECT_THAT(listFindings, ::testing::ElementsAreArray(matchCase.listFindings));
    }
}

}  // namespace

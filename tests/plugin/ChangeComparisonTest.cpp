// Resolving a host scan path to one of the job's shares before its changes
// are loaded.
#include <gmock/gmock.h>

#include <boost/make_shared.hpp>

#include "tests/support/PluginTestBase.h"
#include "tests/support/ScopedTempDir.h"

namespace afs_test {
namespace {

class CCollectingDB : public CNutanixDBHelper {
public:
    CRhError ItemCallBack(std::string& path, const std::string&, NutanixAFSChangeType, const struct stat&,
                          bool) override {
        paths += path + ";";
        return CRhError::Success();
    }
    std::string paths;
};

class ChangeComparisonTest : public CPluginTestBase {
protected:
    ChangeComparisonTest() {
        ptrBackend->fnCreateDiff = [this]() {
            auto ptrDiff = std::make_shared<model::Mount_target_snapshot_diff_output>();
            const std::string& call = ptrBackend->listCalls.back();  // "... prev cur1 unset unset"
            ptrDiff->setUuidList({"diff-" + call.substr(call.find(" cur") + 1, 4)});
            return ptrDiff;
        };
        ptrBackend->fnGetDiffPage = [](const std::string& diffUuid) {
            DiffPage page;
            page.setIsLastPage(true);
            page.setObjectList({std::make_shared<model::Object_info>()});
            page.getObjectList()[0]->setOperationType("ADD");
            page.getObjectList()[0]->setPath("/.snapshot/zkop__2_7_1234/" + diffUuid);
            return page;
        };
    }
    void AddShare(CTestableManager& target, const std::string& mountPath, const std::string& currentUUID) {
        NutanixAFSVolumeInfo info;
        info.strVolumeMountPath = mountPath;
        info.strCurrentSnapUUID = currentUUID;
        info.strPreviousSnapUUID = "prev";
        info.strCurrentSnapPath = mountPath + "/.snapshot/zkop__2_7_1234";
        info.strScanVolumePath = "/fs1" + mountPath.substr(4);
        target.listVolumeInfo.push_back(info);
    }

    CScopedTempDir tempDir;
};

TEST_F(ChangeComparisonTest, ScanPathResolvesToTheFirstRecordOfItsMount) {
    const std::string kNotMapped = " not present in the Scan Path to Mount path";
    struct Case {
        std::map<std::string, std::string> mapScan;
        const char* sourcePath;
        std::string items, error;
    };
    const Case cases[] = {
        {{{"/scan/share1", "/mnt/share1/"}}, "/scan/share1", "/fs1/share1/diff-cur1;", ""},
        {{{"/scan/share1", "/mnt/share1"}}, "/scan/share1/", "/fs1/share1/diff-cur1;", ""},
        {{{"/scan/share1", "/mnt/share1"}}, "/scan/share1/dir", "", "Source volume name /scan/share1/dir" + kNotMapped},
        {{{"/scan/slash/", "/mnt/share2"}}, "/scan/slash/", "", "Source volume name /scan/slash" + kNotMapped},
        {{{"/scan/share1", "/MNT/SHARE1"}}, "/scan/share1", "", ""},
        // Without a scan-path map the host finds the mount, and items carry the mount path.
        {{}, "/mnt/share2/some/dir", "/mnt/share2/diff-cur2;", ""},
        {{}, "/elsewhere", "", "No mounted volume holds [/elsewhere]"},
    };
    settings.Rewrite("[Host]\nMountTableFile = " +
                     tempDir.WriteFile("mounts", "fs1:/share2 /mnt/share2 nfs rw 0 0\n") + "\n");
    for (const Case& test : cases) {
        SCOPED_TRACE(test.sourcePath);
        CTestableManager manager;
        InitializeManager(manager);
        AddShare(manager, "/mnt/share1", "cur1");
        AddShare(manager, "/mnt/share2", "cur2");
        AddShare(manager, "/mnt/share1", "cur9");
        manager.mapScanToMount = test.mapScan;
        auto ptrDB = boost::make_shared<CCollectingDB>();
        CNutanixDBHelperPtr ptrHelper = ptrDB;
        CRhError error = manager.CompareSnapAndLoadItem(test.sourcePath, "pass", ptrHelper);
        EXPECT_EQ(test.error, error.GetMessage());
        EXPECT_EQ(test.items, ptrDB->paths);
        if (error.IsError() && test.mapScan.empty()) {
            EXPECT_THAT(error.GetEntries().back().location.strFunction, ::testing::HasSubstr("CompareSnapAndLoadItem"));
        }
        EXPECT_EQ(test.mapScan.empty() && test.error.empty() ? "/mnt/share2" : "/fs1/share2", std::next(manager.listVolumeInfo.begin())->strScanVolumePath);
    }
}

}  // namespace
}  // namespace afs_test

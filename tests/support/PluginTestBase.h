#pragma once

// Common ground for the plug-in's unit tests: a scripted REST backend behind
// every CurlClient, an empty settings file, a capturing log writer, a sleep
// that only records, and a clean event record.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Nutanix/NutanixAFSManager/NutanixAFSManager.h"
#include "host/SendEvent.h"
#include "host/Sleep.h"
#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"
#include "tests/support/ScriptedRestBackend.h"

namespace afs_test {

// Opens the job manager's fields to the tests.
class CTestableManager : public CNutanixAFSManager {
public:
    using CNutanixAFSManager::listVolumeInfo;
    using CNutanixAFSManager::mapScanToMount;
    using CNutanixAFSManager::mapSourceToLocal;
    using CNutanixAFSManager::ptrContentMapper;
    using CNutanixAFSManager::strSnapInfoFile;
    using CNutanixAFSManager::strSnapMapFile;
};

// A record of mount `mount` whose current snapshot is `snap`, with a reference when `bPrevious`.
inline NutanixAFSVolumeInfo Volume(const std::string& mount, const std::string& snap, bool bPrevious) {
    NutanixAFSVolumeInfo info;
    info.strSourceVolume = "fs1:" + mount;
    info.strVolumeMountPath = mount;
    info.strVolumeUUID = "u" + snap;
    info.strCurrentSnapName = snap;
    info.strCurrentSnapPath = mount + "/.snapshot/" + snap;
    info.strCurrentSnapUUID = "c" + snap;
    info.bPreviousSnapPresent = bPrevious;
    info.strPreviousSnapName = bPrevious ? "p" + snap : "";
    info.strPreviousSnapUUID = bPrevious ? "q" + snap : "";
    info.strPreviousSnapPath = bPrevious ? mount + "/.snapshot/p" + snap : "";
    return info;
}

class CPluginTestBase : public ::testing::Test {
protected:
    CPluginTestBase() : ptrBackend(std::make_shared<CScriptedRestBackend>()), settings("") {
        fnPreviousFactory = afs_rest::SetRestBackendFactory(
            [ptrScripted = ptrBackend](const afs_rest::RestClientConfig&) { return ptrScripted; });
        fnPreviousSleep = SetSleepFunction([this](unsigned int ms) { listSleeps.push_back(ms); });
        ISendEventInterface::GetInstance()->ClearSentEvents();
    }
    ~CPluginTestBase() override {
        SetSleepFunction(fnPreviousSleep);
        afs_rest::SetRestBackendFactory(fnPreviousFactory);
    }

    std::vector<std::string> Events() const { return ISendEventInterface::GetInstance()->GetSentEvents(); }

    // Initialize as client 2, application 7, job 1234 after 1233.
    void InitializeManager(CNutanixAFSManager& manager, const std::string& infoFile = "",
                           const std::string& mapFile = "", LONGLONG fullJob = 1200, LONGLONG incJob = 1233,
                           LONGLONG synthFullJob = 0, ULONG appId = 7) {
        CRhError error =
            manager.Initialize("/results", infoFile, mapFile, "server", "user", "secret", 1234, 1233, fullJob,
                               incJob, synthFullJob, 2, appId, ContentMapperAPIPtr());
        ASSERT_FALSE(error.IsError()) << error.AsString();
    }

    std::shared_ptr<CScriptedRestBackend> ptrBackend;
    afs_rest::FRestBackendFactory fnPreviousFactory;
    CScopedSettings settings;
    CScopedLogCapture log;
    std::vector<unsigned int> listSleeps;
    FSleepFunction fnPreviousSleep;
};

}  // namespace afs_test

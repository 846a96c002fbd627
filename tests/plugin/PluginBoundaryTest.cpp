// The built libNutanixAFSManager.so used exactly as a host uses it: dlopen,
// the factory resolved by name, every call through CNutanixAFSManagerBase*,
// delete through the virtual destructor, dlclose.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <exception>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "host/NutanixAFSManagerBase.h"
#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"
#include "host/PluginLibrary.h"

namespace {

const char* const kPluginPath = AFS_PLUGIN_PATH;

struct PipeCloser {
    void operator()(FILE* pipe) const {
        if (pipe != nullptr) pclose(pipe);
    }
};

// Everything `command` wrote to its standard output.
std::string CommandOutput(const std::string& command) {
    std::unique_ptr<FILE, PipeCloser> ptrPipe(popen(command.c_str(), "r"));
    if (!ptrPipe) return std::string();
    std::string output;
    char buffer[4096];
    size_t uRead = 0;
    while ((uRead = fread(buffer, 1, sizeof(buffer), ptrPipe.get())) > 0) output.append(buffer, uRead);
    return output;
}

class PluginBoundary : public ::testing::Test {
protected:
    PluginBoundary() : library(kPluginPath) {}

    // The factory, or a failed assertion naming dlerror()'s text.
    void Create(std::unique_ptr<CNutanixAFSManagerBase>& ptrManager) {
        ASSERT_TRUE(library.IsLoaded()) << kPluginPath << ": " << library.GetError();
        FGetNutanixAFSManager factory =
            library.ResolveFunction<FGetNutanixAFSManager>("GetNutanixAFSManager");
        ASSERT_NE(nullptr, factory) << library.GetError();
        ptrManager.reset(factory());
        ASSERT_NE(nullptr, ptrManager);
    }

    // Declared first so that it is destroyed last: the job manager's code
    // lives in the library.
    CPluginLibrary library;
    CScopedSettings settings{""};
    CScopedLogCapture log;
};

TEST_F(PluginBoundary, FactoryMakesIndependentManagers) {
    std::unique_ptr<CNutanixAFSManagerBase> ptrFirst;
    std::unique_ptr<CNutanixAFSManagerBase> ptrSecond;
    ASSERT_NO_FATAL_FAILURE(Create(ptrFirst));
    ASSERT_NO_FATAL_FAILURE(Create(ptrSecond));
    EXPECT_NE(ptrFirst.get(), ptrSecond.get());
    ptrFirst.reset();
    EXPECT_TRUE(ptrSecond->GetSourceToLocalMap().empty());
}

TEST_F(PluginBoundary, UnknownSymbolIsReportedByDlerror) {
    ASSERT_TRUE(library.IsLoaded()) << library.GetError();
    EXPECT_EQ(nullptr, library.Resolve("CNutanixAFSManager"));
    EXPECT_NE(std::string::npos, library.GetError().find("CNutanixAFSManager")) << library.GetError();
}

TEST_F(PluginBoundary, MissingLibraryIsReportedByDlerror) {
    CPluginLibrary missing(std::string(kPluginPath) + ".absent");
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_NE(std::string::npos, missing.GetError().find(".absent")) << missing.GetError();
    EXPECT_EQ(nullptr, missing.Resolve("GetNutanixAFSManager"));
}

TEST_F(PluginBoundary, AnswersBeforeInitialize) {
    std::unique_ptr<CNutanixAFSManagerBase> ptrManager;
    ASSERT_NO_FATAL_FAILURE(Create(ptrManager));

    ptrManager->PrintInfo();
    EXPECT_TRUE(log->GetLines().empty());
    EXPECT_TRUE(ptrManager->GetSourceToLocalMap().empty());
    EXPECT_EQ("", ptrManager->GetVolumeName("/mnt/afs/share1"));

    CRhError error = ptrManager->CreatePartnerServer({"10.0.0.9"});
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("Initialize has not run: no connection to the file server", error.GetMessage());
    EXPECT_NE(std::string::npos, error.AsString().find("1627"));
    // The plug-in logs through the host's writer, not a copy of its own.
    EXPECT_EQ(1u, log->CountContaining("Create partner server"));
}

TEST_F(PluginBoundary, InitializeWithASettingsFile) {
    settings.Rewrite(
        "[EventManager]\ndEVLOGDIR = /tmp/afs-boundary-logs\n[FileSystemAgent]\nuHAWaitTime = 900\n");
    std::unique_ptr<CNutanixAFSManagerBase> ptrManager;
    ASSERT_NO_FATAL_FAILURE(Create(ptrManager));

    CRhError error;
    try {
        error = ptrManager->Initialize("/results", "/results/snapinfo", "/results/snapmap", "127.0.0.1:9",
                                       "backup", "s3cret-pass", 1234, 1233, 1200, 1233, 0, 2, 7,
                                       ContentMapperAPIPtr());
    } catch (const std::exception& exception) {
        FAIL() << "Initialize threw: " << exception.what();
    } catch (...) {
        FAIL() << "Initialize threw something that is not a std::exception";
    }
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ(1u,
              log->CountContaining(
                  " clientid [2], appid [7], currentjob [1234], previousjobid[ 1233], strJobResultsFolder "
                  "[/results], strSnapInfoFile[/results/snapinfo], strSnapMapFile[/results/snapmap]"));
    EXPECT_EQ(1u, log->CountContaining("Registry key [uHAWaitTime]=[900] is present in FileSystemAgent"));
    EXPECT_EQ(0u, log->CountContaining("s3cret-pass"));

    log->Clear();
    ptrManager->PrintInfo();
    EXPECT_TRUE(log->GetLines().empty());
    EXPECT_TRUE(ptrManager->GetSourceToLocalMap().empty());
    EXPECT_EQ("", ptrManager->GetVolumeName("/mnt/afs/share1"));
}

TEST(PluginExports, FactoryIsTheOnlyExportedSymbol) {
    const std::string output =
        CommandOutput(std::string(AFS_NM_PATH) + " -D --defined-only '" + kPluginPath + "'");
    ASSERT_FALSE(output.empty()) << "no output from " << AFS_NM_PATH;

    std::set<std::string> setFunctions;
    std::set<std::string> setOthers;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name)) continue;
        // Lower-case types are local to the library.
        if (type.size() != 1 || !std::isupper(static_cast<unsigned char>(type[0]))) continue;
        if (type == "T" || type == "W" || type == "i") {
            setFunctions.insert(name);
        } else {
            setOthers.insert(type + " " + name);
        }
    }
    EXPECT_EQ(std::set<std::string>{"GetNutanixAFSManager"}, setFunctions) << output;
    EXPECT_TRUE(setOthers.empty()) << output;
}

}  // namespace

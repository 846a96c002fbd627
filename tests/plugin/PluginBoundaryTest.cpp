// The built libNutanixAFSManager.so used exactly as a host uses it: dlopen,
// the factory resolved by name, every call through CNutanixAFSManagerBase*,
// delete through the virtual destructor, dlclose. That the factory is all
// it exports, the kit test checks on the installed library.
#include <gtest/gtest.h>

#include <memory>

#include "host/NutanixAFSManagerBase.h"
#include "host/PluginLibrary.h"
#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"

namespace {

const char* const kPluginPath = AFS_PLUGIN_PATH;

TEST(PluginBoundary, TheFactoryMakesIndependentManagersThatLogThroughTheHost) {
    CPluginLibrary library(kPluginPath);  // destroyed last: the managers' code lives in it
    CScopedSettings settings("");
    CScopedLogCapture log;
    ASSERT_TRUE(library.IsLoaded()) << library.GetError();
    auto factory = library.ResolveFunction<FGetNutanixAFSManager>("GetNutanixAFSManager");
    ASSERT_NE(nullptr, factory) << library.GetError();
    std::unique_ptr<CNutanixAFSManagerBase> ptrFirst(factory()), ptrSecond(factory());
    ASSERT_TRUE(ptrFirst && ptrSecond && ptrFirst != ptrSecond);
    CRhError error =
        ptrFirst->Initialize("/results", "/results/snapinfo", "/results/snapmap", "127.0.0.1:9", "backup",
                             "s3cret-pass", 1234, 1233, 1200, 1233, 0, 2, 7, ContentMapperAPIPtr());
    ASSERT_FALSE(error.IsError()) << error.AsString();
    ptrFirst.reset();
    EXPECT_EQ(1u, log->CountContaining(" clientid [2], appid [7], currentjob [1234]", 0));
    EXPECT_EQ(
        1627u,
        ptrSecond->CreatePartnerServer({"10.0.0.9"}).GetCode());  // the first one's connection is not shared
}

}  // namespace

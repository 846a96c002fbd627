#include "host/PlatformInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/ScopedTempDir.h"
#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"

namespace {

const char* const kSettingsText =
    "; a comment\n"
    "# another comment\n"
    "[FileSystemAgent]\n"
    "uHAWaitTime = 900\n"
    "Zero=0\n"
    "Padded =   42   \n"
    "Max = 18446744073709551615\n"
    "TooLarge = 18446744073709551616\n"
    "Negative = -1\n"
    "Plus = +5\n"
    "Hex = 0x10\n"
    "Trailing = 12abc\n"
    "Empty =\n"
    "\n"
    "[ EventManager ]\n"
    "dEVLOGDIR = /var/log/afs dir\n"
    "Equation = a=b\n";

}  // namespace

TEST(PlatformInfoFile, MissingFileMeansNothingIsSet) {
    CScopedTempDir dir;
    ZKPlatformInfo settings(dir.GetPath() + "/absent.ini");
    unsigned long long value = 7;
    EXPECT_FALSE(settings.getNumber("FileSystemAgent", "uHAWaitTime", value));
    EXPECT_EQ(7u, value);
    std::string text = "stale";
    EXPECT_FALSE(settings.getString("EventManager", "dEVLOGDIR", text));
    EXPECT_EQ("", text);
}

TEST(PlatformInfoFile, EnvironmentChoosesTheFile) {
    {
        CScopedSettings settings("[Host]\nLogLevel = 3\n");
        EXPECT_EQ(settings.GetPath(), ZKPlatformInfo::SettingsFilePath());
        unsigned long long level = 0;
        EXPECT_TRUE(ZKPlatformInfo().getNumber("Host", "LogLevel", level));
        EXPECT_EQ(3u, level);
    }
    const char* previous = std::getenv(ZKPlatformInfo::kEnvSettingsFile);
    const std::string strPrevious = previous != nullptr ? previous : "";
    setenv(ZKPlatformInfo::kEnvSettingsFile, "", 1);
    EXPECT_EQ("/etc/afs-scan/host.ini", ZKPlatformInfo::SettingsFilePath());
    unsetenv(ZKPlatformInfo::kEnvSettingsFile);
    EXPECT_EQ("/etc/afs-scan/host.ini", ZKPlatformInfo::SettingsFilePath());
    if (previous != nullptr) setenv(ZKPlatformInfo::kEnvSettingsFile, strPrevious.c_str(), 1);
}

TEST(PlatformInfoLookup, MissingSectionOrKeyOrEmptyValueIsNotSet) {
    CScopedSettings file(kSettingsText);
    ZKPlatformInfo settings;
    unsigned long long value = 5;
    std::string text = "stale";
    EXPECT_FALSE(settings.getNumber("NoSuchSection", "uHAWaitTime", value));
    EXPECT_FALSE(settings.getNumber("FileSystemAgent", "NoSuchKey", value));
    EXPECT_FALSE(settings.getNumber("FileSystemAgent", "Empty", value));
    EXPECT_EQ(5u, value);
    EXPECT_FALSE(settings.getString("FileSystemAgent", "Empty", text));
    EXPECT_EQ("", text);
    text = "stale";
    EXPECT_FALSE(settings.getString("EventManager", "NoSuchKey", text));
    EXPECT_EQ("", text);
}

TEST(PlatformInfoLookup, NamesAreCaseSensitive) {
    CScopedSettings file(kSettingsText);
    ZKPlatformInfo settings;
    unsigned long long value = 0;
    EXPECT_FALSE(settings.getNumber("filesystemagent", "uHAWaitTime", value));
    EXPECT_FALSE(settings.getNumber("FileSystemAgent", "uhawaittime", value));
    EXPECT_TRUE(settings.getNumber("FileSystemAgent", "uHAWaitTime", value));
    EXPECT_EQ(900u, value);
}

TEST(PlatformInfoLookup, StringsAreTrimmedAndKeepInnerText) {
    CScopedSettings file(kSettingsText);
    ZKPlatformInfo settings;
    std::string text;
    EXPECT_TRUE(settings.getString("EventManager", "dEVLOGDIR", text));
    EXPECT_EQ("/var/log/afs dir", text);
    EXPECT_TRUE(settings.getString("EventManager", "Equation", text));
    EXPECT_EQ("a=b", text);
    EXPECT_TRUE(settings.getString("FileSystemAgent", "Padded", text));
    EXPECT_EQ("42", text);
}

TEST(PlatformInfoNumbers, UnsignedDecimalThatFits64Bits) {
    CScopedSettings file(kSettingsText);
    ZKPlatformInfo settings;
    unsigned long long value = 99;
    EXPECT_TRUE(settings.getNumber("FileSystemAgent", "Zero", value));
    EXPECT_EQ(0u, value);
    EXPECT_TRUE(settings.getNumber("FileSystemAgent", "Padded", value));
    EXPECT_EQ(42u, value);
    EXPECT_TRUE(settings.getNumber("FileSystemAgent", "Max", value));
    EXPECT_EQ(18446744073709551615ull, value);

    value = 99;
    for (const char* key : {"TooLarge", "Negative", "Plus", "Hex", "Trailing"}) {
        EXPECT_FALSE(settings.getNumber("FileSystemAgent", key, value)) << key;
        EXPECT_EQ(99u, value) << key;
    }
}

TEST(PlatformInfoMalformed, LineIsSkippedAndLoggedOnce) {
    CScopedLogCapture capture;
    CScopedSettings file(
        "[Host]\n"
        "LogLevel = 2\n"
        "this line has no equals sign\n"
        "MountTableFile = /tmp/mounts\n");
    for (int i = 0; i < 3; ++i) {
        ZKPlatformInfo settings;
        unsigned long long level = 0;
        EXPECT_TRUE(settings.getNumber("Host", "LogLevel", level));
        EXPECT_EQ(2u, level);
        std::string table;
        EXPECT_TRUE(settings.getString("Host", "MountTableFile", table));
        EXPECT_EQ("/tmp/mounts", table);
    }
    const std::string expected =
        "Malformed settings line 3 in [" + file.GetPath() + "] skipped: [this line has no equals sign]";
    EXPECT_EQ(1u, capture->CountContaining(expected));
    EXPECT_EQ(1u, capture->CountContaining("Malformed settings line"));
    EXPECT_EQ(expected, capture->GetMessages().at(0));
}

TEST(PlatformInfoMalformed, KeyBeforeAnySectionIsReported) {
    CScopedLogCapture capture;
    CScopedSettings file("LogLevel = 4\n[Host]\n = 5\n");
    ZKPlatformInfo settings;
    unsigned long long level = 0;
    EXPECT_FALSE(settings.getNumber("Host", "LogLevel", level));
    EXPECT_FALSE(settings.getNumber("", "LogLevel", level));
    EXPECT_EQ(1u, capture->CountContaining("Malformed settings line 1 in"));
    EXPECT_EQ(1u, capture->CountContaining("Malformed settings line 3 in"));
}

TEST(PlatformInfoMalformed, RegressionKeysAfterABrokenSectionDoNotJoinThePreviousSection) {
    CScopedLogCapture capture;
    CScopedSettings file(
        "[FileSystemAgent]\n"
        "uHAWaitTime = 900\n"
        "[EventManager\n"
        "MaxScanRetries = 7\n"
        "[ ]\n"
        "NutanixRetrySleep = 9\n");
    ZKPlatformInfo settings;
    unsigned long long value = 0;
    EXPECT_TRUE(settings.getNumber("FileSystemAgent", "uHAWaitTime", value));
    EXPECT_EQ(900u, value);
    EXPECT_FALSE(settings.getNumber("FileSystemAgent", "MaxScanRetries", value));
    EXPECT_FALSE(settings.getNumber("FileSystemAgent", "NutanixRetrySleep", value));
    EXPECT_EQ(1u, capture->CountContaining("Malformed settings line 3 in"));
    EXPECT_EQ(1u, capture->CountContaining("Malformed settings line 5 in"));
}

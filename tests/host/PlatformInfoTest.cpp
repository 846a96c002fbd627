#include "host/PlatformInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"

// The plug-in's settings table (PluginEntryTest) shows 0, an empty value and
// a number with a unit; these are the rest.
TEST(PlatformInfo, ValuesAreTrimmedCaseSensitiveAndNumbersAreWholeUnsignedDecimals) {
    CScopedSettings file(
        "; a comment\n# another comment\n[FileSystemAgent]\nuHAWaitTime = 900\nPadded =   42   \n"
        "Max = 18446744073709551615\nTooLarge = 18446744073709551616\nNegative = -1\nPlus = +5\nHex = 0x10\n"
        "Empty =\n\n[ EventManager ]\ndEVLOGDIR = /var/log/afs dir\nEquation = a=b\n");
    // szText null: not set; bNumber false: getNumber refuses it.
    const struct {
        const char* szSection;
        const char* szKey;
        const char* szText;
        bool bNumber;
        unsigned long long uNumber;
    } kCases[] = {
        {"FileSystemAgent", "uHAWaitTime", "900", true, 900},
        {"filesystemagent", "uHAWaitTime", nullptr, false, 0},
        {"FileSystemAgent", "uhawaittime", nullptr, false, 0},
        {"NoSuchSection", "uHAWaitTime", nullptr, false, 0},
        {"FileSystemAgent", "Empty", nullptr, false, 0},
        {"FileSystemAgent", "Padded", "42", true, 42},
        {"FileSystemAgent", "Max", "18446744073709551615", true, 18446744073709551615ull},
        {"FileSystemAgent", "TooLarge", "18446744073709551616", false, 0},
        {"FileSystemAgent", "Negative", "-1", false, 0},
        {"FileSystemAgent", "Plus", "+5", false, 0},
        {"FileSystemAgent", "Hex", "0x10", false, 0},
        {"EventManager", "Equation", "a=b", false, 0},
        {"EventManager", "dEVLOGDIR", "/var/log/afs dir", false, 0},
    };
    const ZKPlatformInfo settings;
    for (const auto& row : kCases) {
        SCOPED_TRACE(std::string(row.szSection) + "." + row.szKey);
        std::string text = "stale";
        unsigned long long number = 99;
        EXPECT_EQ(row.szText != nullptr, settings.getString(row.szSection, row.szKey, text));
        EXPECT_EQ(row.szText ? row.szText : "", text);
        EXPECT_EQ(row.bNumber, settings.getNumber(row.szSection, row.szKey, number));
        EXPECT_EQ(row.bNumber ? row.uNumber : 99u, number);
    }
    std::string text;
    EXPECT_FALSE(ZKPlatformInfo(file.GetPath() + ".absent").getString("EventManager", "dEVLOGDIR", text));
    setenv(ZKPlatformInfo::kEnvSettingsFile, "", 1);  // empty as unset: the default file
    EXPECT_EQ("/etc/afs-scan/host.ini", ZKPlatformInfo::SettingsFilePath());
    unsetenv(ZKPlatformInfo::kEnvSettingsFile);
    EXPECT_EQ("/etc/afs-scan/host.ini", ZKPlatformInfo::SettingsFilePath());
}

TEST(PlatformInfo, MalformedLinesAreSkippedLoggedOnceAndBelongToNoSection) {
    // "Section.Key=value" must be found ("Section.Key=": must not be); a "%s" in a skipped line is the file.
    const struct {
        std::string strText;
        std::vector<std::string> listLookups, listSkipped;
    } kCases[] = {
        {"[Host]\nLogLevel = 2\nthis line has no equals sign\nMountTableFile = /m\n",
         {"Host.LogLevel=2", "Host.MountTableFile=/m"},
         {"3 in [%s] skipped: [this line has no equals sign]"}},
        {"LogLevel = 4\n[Host]\n = 5\n",
         {"Host.LogLevel=", ".LogLevel="},
         {"1 in [%s] skipped: [LogLevel = 4]", "3 in [%s] skipped: [ = 5]"}},
        // Regression: keys after a broken header once joined the section before it.
        {"[FileSystemAgent]\nuHAWaitTime = 900\n[EventManager\nMaxScanRetries = 7\n[ ]\nNutanixRetrySleep = "
         "9\n",
         {"FileSystemAgent.uHAWaitTime=900", "FileSystemAgent.MaxScanRetries=",
          "FileSystemAgent.NutanixRetrySleep=", "EventManager.MaxScanRetries="},
         {"3 in [%s] skipped: [[EventManager]", "4 in [%s] skipped: [MaxScanRetries = 7]",
          "5 in [%s] skipped: [[ ]]", "6 in [%s] skipped: [NutanixRetrySleep = 9]"}},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.strText);
        CScopedLogCapture capture;
        CScopedSettings file(row.strText);
        for (int nReader = 0; nReader < 2; ++nReader) {
            const ZKPlatformInfo settings;
            for (const std::string& lookup : row.listLookups) {
                const size_t uDot = lookup.find('.'), uEquals = lookup.find('=');
                std::string text;
                EXPECT_EQ(uEquals + 1 < lookup.size(),
                          settings.getString(lookup.substr(0, uDot),
                                             lookup.substr(uDot + 1, uEquals - uDot - 1), text))
                    << lookup;
                EXPECT_EQ(lookup.substr(uEquals + 1), text) << lookup;
            }
        }
        std::vector<std::string> listExpected;
        for (const std::string& skipped : row.listSkipped) {
            listExpected.push_back("Malformed settings line " +
                                   FXString::Format(skipped.c_str(), file.GetPath().c_str()));
        }
        EXPECT_EQ(listExpected, capture->GetMessages());
    }
}

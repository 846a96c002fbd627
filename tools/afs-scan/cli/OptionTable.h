#pragma once

#include <string>

#include "tools/afs-scan/cli/ScanOptions.h"

namespace afs_scan {

// Every option afs-scan knows, whichever commands take it. A command names
// the ones it takes in the command table (commands/CommandTable.cpp); the
// others are refused there.
enum class EOption {
    eHelp,
    eVersion,
    eVerbose,
    eQuiet,
    eFull,
    eListFull,
    eTakeOver,
    eJsonl,
    eCsv,
    eJson,
    ePrune,
    eDryRun,
    ePassword,  // refused: a password never goes on the command line
    ePlugin,
    eServer,
    eUser,
    ePasswordFile,
    eState,
    eDb,
    eSettings,
    eMountTable,
    eLog,
    eSummaryJson,
    eCaBundle,
    eHaWait,
    eLockWait,
    eScanPath,
    ePartner,
    eMap,
    eClientId,
    eAppId,
    eJobId,
    ePreviousJobId,
    eFullJobId,
    eSynthFullJobId,
    eMaxItems,
    eSample,
    eMinAge,
    eKeepLast,
    eBatchRows,
};

struct OptionSpec {
    EOption eId;
    const char* pszName;   // without the leading "--"
    const char* pszValue;  // the value's name in the help; nullptr for a flag
    // The help text, lines of at most kHelpTextColumns; a command may give
    // its own (commands/CommandTable.cpp).
    const char* pszHelp;
};

// The help shows "  --name VALUE" in the first columns and the text beside
// it, so that every line fits 80 columns.
constexpr size_t kHelpNameColumns = 24;
constexpr size_t kHelpTextColumns = 80 - kHelpNameColumns;

// The spec of every option, in the order of EOption.
const OptionSpec* OptionSpecs(size_t& uCount);
const OptionSpec& SpecOf(EOption eOption);

// Stores one option (a flag's `strValue` is empty) in `options`. Returns an
// empty text when it was accepted, else the usage error as one line.
std::string ApplyOption(EOption eOption, const std::string& strValue, ScanOptions& options);

}  // namespace afs_scan

#include "tools/afs-scan/cli/CommandLine.h"

#include <algorithm>
#include <cstring>

namespace afs_scan {
namespace {

// The same for every command, so it is shown once, under the main help.
const char kValueNote[] =
    "An option's value is the next argument or follows '=' (--state DIR,\n"
    "--state=DIR); a unique beginning of an option's name is enough; relative\n"
    "paths are resolved against the current folder.\n";

const char kExitText[] =
    "Exit status:\n"
    "  0    success\n"
    "  1    the job failed (the cause is on stderr, the chain in the log)\n"
    "  2    usage or configuration error: nothing was started\n"
    "  3    partial: the job ended, but a requested share was not backed up or\n"
    "       its difference skipped items (verify: a change is missing)\n"
    "  4    retry later: the state folder is in use (--lock-wait), or the file\n"
    "       server is unreachable or busy (--ha-wait); a job is recorded failed\n"
    "  5    refused: the file server refused the credentials or its certificate\n"
    "       is not trusted: fix --user, the password or --ca-bundle\n"
    "  130  interrupted by SIGINT, 143 by SIGTERM (the job is recorded as failed\n"
    "       and stores nothing)\n";

// Optimal string alignment distance: a typo is one or two edits, a swap of
// two neighbouring letters one.
size_t EditDistance(const std::string& strA, const std::string& strB) {
    std::vector<std::vector<size_t>> d(strA.size() + 1, std::vector<size_t>(strB.size() + 1));
    for (size_t i = 0; i <= strA.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= strB.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= strA.size(); ++i) {
        for (size_t j = 1; j <= strB.size(); ++j) {
            const size_t uCost = strA[i - 1] == strB[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + uCost});
            if (i > 1 && j > 1 && strA[i - 1] == strB[j - 2] && strA[i - 2] == strB[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[strA.size()][strB.size()];
}

// The nearest of `listNames` within two edits (less than half the word), or "".
std::string Nearest(const std::string& strWord, const std::vector<std::string>& listNames) {
    std::string strBest;
    size_t uBest = 3;
    for (const std::string& strName : listNames) {
        const size_t uDistance = EditDistance(strWord, strName);
        if (uDistance < uBest && 2 * uDistance < std::max(strWord.size(), strName.size())) {
            uBest = uDistance;
            strBest = strName;
        }
    }
    return strBest;
}

bool Takes(const CommandSpec& command, EOption eOption) {
    return std::any_of(command.listOptions.begin(), command.listOptions.end(),
                       [eOption](const CommandOption& entry) { return entry.eOption == eOption; });
}

std::string CommandWords(const CommandSpec& command) { return std::string("afs-scan ") + command.pszName; }

// The line for a word that names no option `command` takes.
std::string Refusal(const std::string& strWord, const CommandSpec& command,
                    const std::vector<CommandSpec>& listCommands) {
    const std::string strName = strWord.substr(2);
    size_t uCount = 0;
    const OptionSpec* ptrSpecs = OptionSpecs(uCount);
    for (size_t u = 0; u < uCount; ++u) {
        if (strName != ptrSpecs[u].pszName) continue;
        std::string strWith;
        for (const CommandSpec& other : listCommands) {
            if (Takes(other, ptrSpecs[u].eId)) strWith += (strWith.empty() ? "" : ", ") + CommandWords(other);
        }
        return "option '" + strWord + "' does not go with " + CommandWords(command) + "; it goes with " +
               strWith;
    }
    std::vector<std::string> listNames;
    for (const CommandOption& entry : command.listOptions) listNames.push_back(SpecOf(entry.eOption).pszName);
    const std::string strNearest = Nearest(strName, listNames);
    if (!strNearest.empty()) return "unknown option '" + strWord + "'; did you mean --" + strNearest + "?";
    return "unknown option '" + strWord + "'; see " + CommandWords(command) + " --help";
}

// The option of `command` that `strName` names exactly or by a unique
// beginning; nullptr with the refusal in strError.
const OptionSpec* Lookup(const std::string& strWord, const CommandSpec& command,
                         const std::vector<CommandSpec>& listCommands, std::string& strError) {
    const std::string strName = strWord.substr(2);
    std::vector<const OptionSpec*> listMatches;
    for (const CommandOption& entry : command.listOptions) {
        const OptionSpec& spec = SpecOf(entry.eOption);
        if (strName == spec.pszName) return &spec;
        if (!strName.empty() && std::strncmp(spec.pszName, strName.c_str(), strName.size()) == 0)
            listMatches.push_back(&spec);
    }
    // The whole name of an option of another command is that option, never
    // the beginning of one of this command's (scan --json is not --jsonl).
    size_t uCount = 0;
    const OptionSpec* ptrSpecs = OptionSpecs(uCount);
    const bool bOtherName = std::any_of(ptrSpecs, ptrSpecs + uCount,
                                        [&](const OptionSpec& spec) { return strName == spec.pszName; });
    if (listMatches.size() == 1 && !bOtherName) return listMatches.front();
    if (listMatches.empty() || bOtherName) {
        strError = Refusal(strWord, command, listCommands);
        return nullptr;
    }
    strError = "option '" + strWord + "' is ambiguous:";
    for (size_t u = 0; u < listMatches.size(); ++u)
        strError += std::string(u == 0 ? " " : ", ") + "--" + listMatches[u]->pszName;
    return nullptr;
}

void AppendOptionHelp(std::string& strText, const OptionSpec& spec, const char* pszHelp) {
    std::string strHead = std::string("  --") + spec.pszName;
    if (spec.pszValue != nullptr) strHead += std::string(" ") + spec.pszValue;
    const std::string strIndent(kHelpNameColumns, ' ');
    const bool bOwnLine = strHead.size() + 1 > kHelpNameColumns;
    strText += strHead;
    std::string strHelp = pszHelp;
    size_t uStart = 0;
    for (bool bFirst = true; uStart <= strHelp.size(); bFirst = false) {
        size_t uEnd = strHelp.find('\n', uStart);
        if (uEnd == std::string::npos) uEnd = strHelp.size();
        if (bFirst && !bOwnLine)
            strText += std::string(kHelpNameColumns - strHead.size(), ' ');
        else
            strText += "\n" + strIndent;
        strText += strHelp.substr(uStart, uEnd - uStart);
        uStart = uEnd + 1;
    }
    strText += "\n";
}

}  // namespace

const CommandSpec* FindCommand(int argc, char** argv, const std::vector<CommandSpec>& listCommands,
                               std::string& strError) {
    const std::string strName = argc > 1 && argv[1][0] != '-' ? argv[1] : "scan";
    std::vector<std::string> listNames;
    for (const CommandSpec& command : listCommands) {
        if (strName == command.pszName) return &command;
        listNames.push_back(command.pszName);
    }
    strError = "unknown command '" + strName + "'";
    const std::string strNearest = Nearest(strName, listNames);
    if (!strNearest.empty()) return strError += "; did you mean " + strNearest + "?", nullptr;
    strError += "; the commands are";
    for (size_t u = 0; u < listNames.size(); ++u) strError += (u == 0 ? " " : ", ") + listNames[u];
    return nullptr;
}

std::string ParseCommandOptions(int argc, char** argv, const CommandSpec& command,
                                const std::vector<CommandSpec>& listCommands, ScanOptions& options) {
    options.strCommand = command.pszName;
    const int nFirst = argc > 1 && argv[1][0] != '-' ? 2 : 1;
    const std::vector<std::string> listArgs(argv + nFirst, argv + argc);
    // The first refusal; the walk goes on, since help is asked for whatever
    // else the line holds. A value is never taken for an option: the
    // password file "--help" is a file.
    std::string strRefusal;
    auto refuse = [&strRefusal](const std::string& strError) {
        if (strRefusal.empty()) strRefusal = strError;
    };
    for (size_t u = 0; u < listArgs.size(); ++u) {
        const std::string& strArg = listArgs[u];
        if (strArg == "--help" || strArg == "-h") return options.bHelp = true, std::string();
        if (strArg == "--version") return options.bVersion = true, std::string();
        if (strArg == "--") {
            if (u + 1 < listArgs.size()) refuse("unexpected argument '" + listArgs[u + 1] + "'");
            break;
        }
        const size_t uEqual = strArg.find('=');
        const std::string strWord = strArg.substr(0, uEqual);
        if (strArg.compare(0, 2, "--") != 0) {
            if (strArg.size() < 2 || strArg[0] != '-') {
                const bool bCommand =
                    std::any_of(listCommands.begin(), listCommands.end(),
                                [&strArg](const CommandSpec& other) { return strArg == other.pszName; });
                refuse("unexpected argument '" + strArg + "'" +
                       (bCommand ? "; a command goes first: afs-scan " + strArg + " [options]" : ""));
                continue;
            }
            // -scan-path: one dash short of an option.
            std::string strIgnored;
            const OptionSpec* ptrMeant = Lookup("-" + strWord, command, listCommands, strIgnored);
            refuse("unknown option '" + strWord + "'" +
                   (ptrMeant != nullptr ? std::string("; did you mean --") + ptrMeant->pszName + "?" : ""));
            continue;
        }
        std::string strError;
        const OptionSpec* ptrSpec = Lookup(strWord, command, listCommands, strError);
        std::string strValue;
        if (ptrSpec == nullptr || ptrSpec->eId == EOption::ePassword) {
            // --password is refused whatever follows it.
            if (ptrSpec != nullptr) strError = ApplyOption(ptrSpec->eId, {}, options);
        } else if (ptrSpec->pszValue == nullptr) {
            if (uEqual != std::string::npos) strError = "option '" + strWord + "' takes no value";
        } else if (uEqual != std::string::npos) {
            strValue = strArg.substr(uEqual + 1);
        } else if (u + 1 < listArgs.size()) {
            strValue = listArgs[++u];
        }
        // An empty value is none: --db= must not mean the default database.
        if (strError.empty() && ptrSpec->pszValue != nullptr && strValue.empty())
            strError = "option '" + strWord + "' requires a value";
        refuse(strError.empty() ? ApplyOption(ptrSpec->eId, strValue, options) : strError);
    }
    return strRefusal;
}

std::string CommandHelp(const CommandSpec& command, const std::vector<CommandSpec>& listCommands) {
    const bool bMain = std::strcmp(command.pszName, "scan") == 0;
    std::string strText = std::string("usage: afs-scan ") + command.pszUsage + "\n";
    if (bMain) strText += "       afs-scan COMMAND [options]   (afs-scan COMMAND --help)\n";
    strText += std::string(command.pszAbout) + "\n\nOptions:\n";
    for (const CommandOption& entry : command.listOptions) {
        const OptionSpec& spec = SpecOf(entry.eOption);
        const char* pszHelp = entry.pszHelp != nullptr ? entry.pszHelp : spec.pszHelp;
        if (pszHelp != nullptr) AppendOptionHelp(strText, spec, pszHelp);
    }
    if (!bMain) return strText + "\nafs-scan --help: the value syntax and the exit status.\n";
    strText += "\nCommands:\n";
    for (const CommandSpec& other : listCommands) {
        std::string strName = std::string("  ") + other.pszName;
        strText += strName + std::string(kHelpNameColumns - strName.size(), ' ') + other.pszSummary + "\n";
    }
    return strText + "\n" + kValueNote + "\n" + kExitText;
}

}  // namespace afs_scan

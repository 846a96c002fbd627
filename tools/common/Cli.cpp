#include "tools/common/Cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/common/Handles.h"

namespace afs_cli {
namespace {

const char* pszProgram = "afs";
std::string strHelpCommand;

// A password line is short; more than this is not a password file.
constexpr size_t kMaxPasswordBytes = 4096;

}  // namespace

void SetProgramName(const char* pszName) { pszProgram = pszName; }

const char* ProgramName() { return pszProgram; }

void Say(const std::string& strText) { std::fprintf(stderr, "%s: %s\n", pszProgram, strText.c_str()); }

int UsageError(const std::string& strText) {
    std::fprintf(stderr, "%s: %s\ntry '%s --help'\n", pszProgram, strText.c_str(),
                 strHelpCommand.empty() ? pszProgram : strHelpCommand.c_str());
    return kExitUsage;
}

void SetHelpCommand(const std::string& strCommand) { strHelpCommand = strCommand; }

std::string ResolvePath(const std::string& strPath) {
    if (strPath.empty()) return strPath;
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(strPath, error);
    if (error) return strPath;
    std::string strResult = path.lexically_normal().string();
    while (strResult.size() > 1 && strResult.back() == '/') strResult.pop_back();
    return strResult;
}

std::string ReadPasswordFile(const std::string& strFile, std::string& strPassword) {
    const std::string strWhat = "password file " + strFile;
    // Opened without blocking: a FIFO or a device must be refused, not waited on.
    const CUniqueFd file(open(strFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    const int nFd = file.Get();
    if (nFd < 0) return "cannot read " + strWhat + ": " + std::strerror(errno);
    struct stat attributes {};
    std::string strText;
    std::string strError;
    if (fstat(nFd, &attributes) != 0) {
        strError = "cannot read " + strWhat + ": " + std::strerror(errno);
    } else if (!S_ISREG(attributes.st_mode)) {
        strError = strWhat + " is not a regular file";
    } else {
        char buffer[kMaxPasswordBytes];
        ssize_t nRead = 0;
        while ((nRead = read(nFd, buffer, sizeof(buffer))) > 0 && strText.size() < kMaxPasswordBytes)
            strText.append(buffer, static_cast<size_t>(nRead));
        if (nRead < 0) strError = "cannot read " + strWhat + ": " + std::strerror(errno);
    }
    if (!strError.empty()) return strError;
    strText = strText.substr(0, strText.find('\n'));
    if (!strText.empty() && strText.back() == '\r') strText.pop_back();
    if (strText.empty()) return strWhat + " is empty: its first line must hold the password";
    strPassword = strText;
    return {};
}

}  // namespace afs_cli

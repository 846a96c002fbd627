#pragma once

#include <string>

// What afs-scan and afs-sim share so that both behave as the command-line
// tools their users know: exit codes, messages that start with the
// program's name, one-line usage errors, paths and the password file.
namespace afs_cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;         // the job (or the server) failed
constexpr int kExitUsage = 2;          // usage or configuration error; nothing was started
constexpr int kExitPartial = 3;        // the job ended, but a requested share was not backed up
constexpr int kExitRetryLater = 4;     // busy or unreachable: the same run may succeed later
constexpr int kExitRefused = 5;        // the server refused the credentials or its certificate
constexpr int kExitInterrupted = 128;  // + the signal: 130 SIGINT, 143 SIGTERM

// Names the program in every message; call first thing in main.
void SetProgramName(const char* pszName);
const char* ProgramName();

// "PROGRAM: TEXT" as one line on stderr.
void Say(const std::string& strText);

// "PROGRAM: TEXT" and "try 'PROGRAM --help'" on stderr; returns kExitUsage.
int UsageError(const std::string& strText);

// What the "try" line of UsageError names before "--help" (the program's
// name until set), e.g. "afs-scan jobs" for a sub-command's own help.
void SetHelpCommand(const std::string& strCommand);

// An absolute, lexically normal form of `strPath` (relative to the current
// folder); an empty text stays empty.
std::string ResolvePath(const std::string& strPath);

// The password of `strFile`: its first line without the line end. Returns
// an empty text on success, else why the file is refused (unreadable, not
// a regular file, or an empty first line), naming the file.
std::string ReadPasswordFile(const std::string& strFile, std::string& strPassword);

}  // namespace afs_cli

#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "Nutanix/NutanixAFSManager/NutanixAFSVolumeInfo.h"
#include "host/NutanixAFSManagerBase.h"
#include "host/RhError.h"
#include "restclient/model/SnapshotDiff.h"

// Seconds since 1970 for a cpprestsdk time; a time before 1970 gives the
// value with all bits set.
uint64_t DiffTimeToUnixSeconds(const utility::datetime& time);

// Position of the first path component that is exactly ".snapshot", or npos.
size_t FindSnapshotComponent(const std::string& path);

// Replaces a leading `from` of `path` by `to`, ignoring letter case, only when
// `from` ends at a component boundary ("/" or the end of `path`). False, and
// `path` unchanged, otherwise or when `from` is empty.
bool ReplaceLeadingPath(std::string& path, const std::string& from, const std::string& to);
// True when ReplaceLeadingPath would replace `from`.
bool HasLeadingPath(const std::string& path, const std::string& from);

// Rewrites a server path into the scan form: keeps what follows the first
// ".snapshot" component, puts it under the share's mount path, then replaces a leading
// current snapshot path (when bReplaceCurrent) and a leading previous
// snapshot path by the share's scan path. False when the path holds no
// ".snapshot" (the item lies outside any snapshot and is skipped).
bool RewriteSnapshotPath(const NutanixAFSVolumeInfo& volumeInfo, std::string& path, bool bReplaceCurrent);
// The same, building the result in `scratch` (whose capacity it reuses) so
// that a loop over many items does not allocate.
// `pbInCompared`, when given, tells whether the path lay in the current or
// the previous snapshot (rather than in some other snapshot of the share);
// without bReplaceCurrent (a rename's old path) only the previous one counts.
// When it did, the rewritten path is the share's scan path followed by the
// item's path below the share's root.
bool RewriteSnapshotPath(const NutanixAFSVolumeInfo& volumeInfo, std::string& path, bool bReplaceCurrent,
                         std::string& scratch, bool* pbInCompared = nullptr);

enum class EItemPath { eFine, eNoFileName, eUnsafe };

// One walk over `path`: eNoFileName when no file system could hold it
// (longer than 4096 bytes, or a component longer than 255; `*ppszWhy` then
// says which), else eUnsafe when IsUnsafeItemPath (below) holds, else eFine.
EItemPath CheckItemPath(const std::string& path, size_t uNamesFrom, const char** ppszWhy);

// `path` for a message or a log line: at most a few hundred bytes, the rest
// replaced by a note of the full length, so that a server's huge path cannot
// flood the host's log.
std::string PathForMessage(const std::string& path);

// True when `path` could escape the share once the host joins it to a
// directory (a ".." component or a NUL byte), or no file system could hold
// it (longer than 4096 bytes, or a component longer than 255), or, after the
// "/" at or past position `uNamesFrom`, it holds an empty component ("//", a
// "/" at the end) or a "." component.
bool IsUnsafeItemPath(const std::string& path, size_t uNamesFrom = std::string::npos);

// Turns the difference's objects into scan database items for one share, one
// at a time. Holds references to the share record and the scan database for
// its lifetime; not thread-safe.
class CDiffItemLoader {
public:
    CDiffItemLoader(const NutanixAFSVolumeInfo& volumeInfo, CNutanixDBHelper& dbHelper);

    // Hands `object` to the scan database, or skips it (logged) when it lies
    // outside the snapshots or its path cannot be a file name here. An error
    // is the scan database's rejection, with this operation's location
    // pushed, or error 1627 for an unsafe path.
    CRhError Process(const io::swagger::client::model::Object_info& object);

    // Items the scan database accepted so far.
    long long GetItemCount() const { return llItemCount; }
    // Items handed to Process so far, those skipped as lying outside the
    // snapshots, and those skipped as naming nothing a file system can hold.
    unsigned long long GetSeenCount() const { return ullSeenCount; }
    unsigned long long GetSkippedCount() const { return ullSkippedCount; }
    unsigned long long GetUnnamedCount() const { return ullUnnamedCount; }

private:
    enum EPlacement { eBelowMount, eOutsideMount, eUnsafePlace };
    // Where a path that RewriteSnapshotPath put in a compared snapshot lies
    // for the share's mount; strips the mounted directory when the host scans
    // the mount itself.
    EPlacement PlaceBelowMount(std::string& path) const;
    // Logs an item of the share that lies outside the mounted directory; it
    // is not handed over, and not counted as skipped.
    void IgnoreOutsideMount(const std::string& path) const;
    CRhError NotInComparedSnapshots(const std::string& path);
    CRhError UnsafePath(const std::string& path);
    // Logs and counts an item whose path cannot be named on this system.
    CRhError SkipUnnamed(const std::string& path, const char* why);

    const NutanixAFSVolumeInfo& volumeInfo;
    CNutanixDBHelper& dbHelper;
    const bool bStripSubPath;  // a sub-directory mount that the host scans through the mount path
    long long llItemCount = 0;
    unsigned long long ullSeenCount = 0;
    unsigned long long ullSkippedCount = 0;
    unsigned long long ullUnnamedCount = 0;
    std::string strPath;  // reused across items to spare allocations
    std::string strOldPath;
    std::string strScratch;
    const std::string strEmpty;
    struct stat statAttributes;  // zero but for the members each item sets
};

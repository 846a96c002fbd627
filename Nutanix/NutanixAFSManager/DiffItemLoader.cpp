#include "Nutanix/NutanixAFSManager/DiffItemLoader.h"

#include <cstring>

#include "host/FXPath.h"
#include "host/FXString.h"
#include "host/LogWriter.h"

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr uint64_t kSecondsFrom1601To1970 = 11644473600ULL;
constexpr uint64_t kInvalidTime = ~0ULL;
const char kSnapshotDirectory[] = ".snapshot";
constexpr size_t kMaxPathBytes = 4096;  // PATH_MAX
constexpr size_t kMaxNameBytes = 255;   // NAME_MAX
// A server's path holds at most the snapshot's folder and name besides what
// the host gets; anything much longer is refused before it is copied.
constexpr size_t kMaxServerPathBytes = 2 * kMaxPathBytes;
constexpr size_t kMessagePathBytes = 300;

// Some servers end a directory's path with "/" (or more): the catalog knows
// the directory by its name alone.
inline void RemoveTrailingDelimiters(std::string& path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
}

inline bool HasLevel(int level) { return g_ptrLogWriter && g_ptrLogWriter->GetLevel() >= level; }

// Exact comparison with a literal, the length checked first: for every item
// these settle the object and operation types without a library call.
template <size_t N>
inline bool IsText(const std::string& text, const char (&literal)[N]) {
    return text.size() == N - 1 && std::memcmp(text.data(), literal, N - 1) == 0;
}

}  // namespace

uint64_t DiffTimeToUnixSeconds(const utility::datetime& time) {
    const uint64_t seconds = time.to_interval() / kTicksPerSecond;
    return seconds < kSecondsFrom1601To1970 ? kInvalidTime : seconds - kSecondsFrom1601To1970;
}

size_t FindSnapshotComponent(const std::string& path) {
    const size_t uLength = sizeof(kSnapshotDirectory) - 1;
    for (size_t uAt = path.find(kSnapshotDirectory); uAt != std::string::npos;
         uAt = path.find(kSnapshotDirectory, uAt + 1)) {
        const bool bStartsComponent = uAt == 0 || path[uAt - 1] == '/';
        const bool bEndsComponent = uAt + uLength == path.size() || path[uAt + uLength] == '/';
        if (bStartsComponent && bEndsComponent) return uAt;
    }
    return std::string::npos;
}

bool HasLeadingPath(const std::string& path, const std::string& from) {
    // An empty prefix would match every path; it stands for no snapshot.
    if (from.empty() || path.size() < from.size() || FXString::CompareLeftNoCase(path, from) != 0)
        return false;
    return path.size() == from.size() || path[from.size()] == '/' || from.back() == '/';
}

bool ReplaceLeadingPath(std::string& path, const std::string& from, const std::string& to) {
    if (!HasLeadingPath(path, from)) return false;
    path.replace(0, from.size(), to);
    return true;
}

bool RewriteSnapshotPath(const NutanixAFSVolumeInfo& volumeInfo, std::string& path, bool bReplaceCurrent,
                         std::string& scratch, bool* pbInCompared) {
    // Only a whole ".snapshot" component marks a snapshot directory: a file
    // named my.snapshot.txt is not one.
    const size_t uSnapshot = FindSnapshotComponent(path);
    if (uSnapshot == std::string::npos) return false;
    path.erase(0, uSnapshot);
    scratch.assign(volumeInfo.strVolumeMountPath);
    FXPath::Append(scratch, path, 0);
    // Whole components again: zkop__2_7_123 must not match inside zkop__2_7_1234.
    // A rename's old path comes from the older snapshot only: one in the
    // newer snapshot names no file that was renamed.
    bool bInCompared = bReplaceCurrent && ReplaceLeadingPath(scratch, volumeInfo.strCurrentSnapPath,
                                                             volumeInfo.strScanVolumePath);
    if (ReplaceLeadingPath(scratch, volumeInfo.strPreviousSnapPath, volumeInfo.strScanVolumePath))
        bInCompared = true;
    if (pbInCompared) *pbInCompared = bInCompared;
    path.swap(scratch);
    return true;
}

bool RewriteSnapshotPath(const NutanixAFSVolumeInfo& volumeInfo, std::string& path, bool bReplaceCurrent) {
    std::string scratch;
    return RewriteSnapshotPath(volumeInfo, path, bReplaceCurrent, scratch);
}

std::string PathForMessage(const std::string& path) {
    if (path.size() <= kMessagePathBytes) return path;
    size_t uCut = kMessagePathBytes;
    // Not inside a UTF-8 sequence: the host log keeps valid text.
    while (uCut > 0 && (static_cast<unsigned char>(path[uCut]) & 0xC0) == 0x80) --uCut;
    return path.substr(0, uCut) + "...(" + std::to_string(path.size()) + " bytes)";
}

EItemPath CheckItemPath(const std::string& path, size_t uNamesFrom, const char** ppszWhy) {
    // One walk over the components checks their lengths and, past
    // uNamesFrom, that each names something: "//", "/./" and a final "/" or
    // "/." would be handed over as given, and a catalog keyed by path would
    // miss the change. A name no file system holds outweighs the rest.
    const char* pszWhy = path.size() > kMaxPathBytes ? "it is longer than 4096 bytes" : nullptr;
    bool bUnsafe = false;
    for (size_t uStart = 0; pszWhy == nullptr && uStart < path.size();) {
        const size_t uSlash = path.find('/', uStart);
        const size_t uEnd = uSlash == std::string::npos ? path.size() : uSlash;
        const size_t uLength = uEnd - uStart;
        if (uLength > kMaxNameBytes) pszWhy = "a name in it is longer than 255 bytes";
        if (uLength <= 1 && uStart > uNamesFrom && (uLength == 0 || path[uStart] == '.')) bUnsafe = true;
        uStart = uEnd + 1;
    }
    if (pszWhy != nullptr) {
        if (ppszWhy != nullptr) *ppszWhy = pszWhy;
        return EItemPath::eNoFileName;
    }
    if (bUnsafe) return EItemPath::eUnsafe;
    // Library searches rather than a byte loop: this runs for every item.
    if (std::memchr(path.data(), '\0', path.size()) != nullptr) return EItemPath::eUnsafe;
    for (size_t uDots = path.find(".."); uDots != std::string::npos; uDots = path.find("..", uDots + 1)) {
        const bool bStartsComponent = uDots == 0 || path[uDots - 1] == '/';
        const bool bEndsComponent = uDots + 2 == path.size() || path[uDots + 2] == '/';
        if (bStartsComponent && bEndsComponent) return EItemPath::eUnsafe;
    }
    if (!path.empty() && path.back() == '/' && path.size() - 1 >= uNamesFrom) return EItemPath::eUnsafe;
    return EItemPath::eFine;
}

bool IsUnsafeItemPath(const std::string& path, size_t uNamesFrom) {
    return CheckItemPath(path, uNamesFrom, nullptr) != EItemPath::eFine;
}

CDiffItemLoader::CDiffItemLoader(const NutanixAFSVolumeInfo& info, CNutanixDBHelper& helper)
    : volumeInfo(info),
      dbHelper(helper),
      bStripSubPath(!info.strShareSubPath.empty() && info.strScanVolumePath == info.strVolumeMountPath) {
    std::memset(&statAttributes, 0, sizeof(statAttributes));
}

inline CDiffItemLoader::EPlacement CDiffItemLoader::PlaceBelowMount(std::string& path) const {
    // What follows the scan path is the item's path below the share's root,
    // as the server named it.
    const size_t uRest = volumeInfo.strScanVolumePath.size();
    const std::string& subPath = volumeInfo.strShareSubPath;
    const size_t uRestLength = path.size() - uRest;
    // The mount's own root (the share's root, or the mounted directory) is
    // no item: a change to it would be taken for one of the whole share.
    if (subPath.empty()) return uRestLength == 0 ? eUnsafePlace : eBelowMount;
    if (uRestLength < subPath.size() || path.compare(uRest, subPath.size(), subPath) != 0)
        return eOutsideMount;
    if (uRestLength == subPath.size()) return eUnsafePlace;
    if (path[uRest + subPath.size()] != '/') return eOutsideMount;
    // Below the mount path the mounted directory is the root; in the scan
    // form the share's root is.
    if (bStripSubPath) path.erase(uRest, subPath.size());
    return eBelowMount;
}

CRhError CDiffItemLoader::UnsafePath(const std::string& path) {
    CRhError error =
        FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                "Unsafe path [%s] in snapshot difference", PathForMessage(path).c_str());
    HOST_LOG(0, "%s", error.GetMessage().c_str());
    return error;
}

CRhError CDiffItemLoader::SkipUnnamed(const std::string& path, const char* why) {
    // The share misses this change, so the host must not take the job for
    // complete: the count at the end of the comparison says so.
    HOST_LOG(0, "Skipping item [%s] of the snapshot difference: its path cannot be a file name here (%s)",
             PathForMessage(path).c_str(), why);
    ++ullUnnamedCount;
    return CRhError::Success();
}

void CDiffItemLoader::IgnoreOutsideMount(const std::string& path) const {
    // Another part of the share changed: nothing of this mount's is lost.
    HOST_LOG(3, "Ignoring path [%s] since it lies outside the mounted directory [%s]",
             PathForMessage(path).c_str(), volumeInfo.strShareSubPath.c_str());
}

CRhError CDiffItemLoader::NotInComparedSnapshots(const std::string& path) {
    CRhError error = FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                             "Item path [%s] is in neither snapshot of the difference",
                                             PathForMessage(path).c_str());
    HOST_LOG(0, "%s", error.GetMessage().c_str());
    return error;
}

CRhError CDiffItemLoader::Process(const io::swagger::client::model::Object_info& object) {
    ++ullSeenCount;
    // Before anything is copied or logged: a path the server could not
    // write as text, or one far too long, names no file the host can read.
    const std::string& serverPath = object.pathIsSet() ? object.getPath() : strEmpty;
    if (object.isUnreadablePath()) return SkipUnnamed(serverPath, "the server's text names no characters");
    if (serverPath.size() > kMaxServerPathBytes ||
        (object.oldPathIsSet() && object.getOldPath().size() > kMaxServerPathBytes)) {
        return SkipUnnamed(serverPath, "the server sent more than 8192 bytes");
    }
    const uint64_t ullATime =
        object.accessTimestampIsSet() ? DiffTimeToUnixSeconds(object.getAccessTimestamp()) : 0;
    const uint64_t ullCTime =
        object.changeTimestampIsSet() ? DiffTimeToUnixSeconds(object.getChangeTimestamp()) : 0;
    const uint64_t ullCrTime =
        object.creationTimestampIsSet() ? DiffTimeToUnixSeconds(object.getCreationTimestamp()) : 0;
    const uint64_t ullMTime =
        object.modificationTimestampIsSet() ? DiffTimeToUnixSeconds(object.getModificationTimestamp()) : 0;
    const int64_t llSize = object.sizeIsSet() ? object.getSize() : 0;
    const int64_t llInode = object.inodeNumberIsSet() ? object.getInodeNumber() : 0;
    if (object.pathIsSet()) {
        strPath = object.getPath();
    } else {
        strPath.clear();
    }
    const bool bIsDirectory = object.objectTypeIsSet() && IsText(object.getObjectType(), "DIRECTORY");
    strOldPath.clear();
    NutanixAFSChangeType changeType = eNutanixAFSChangeOther;
    EPlacement eOldPlacement = eBelowMount;

    if (object.operationTypeIsSet()) {
        const std::string& operation = object.getOperationType();
        ReplaceLeadingPath(strPath, volumeInfo.strCurrentSnapPath, volumeInfo.strVolumeMountPath);
        if (IsText(operation, "ADD")) {
            changeType = eNutanixAFSChangeAdd;
            HOST_LOG(3, "Add Snap path path [%s]", PathForMessage(strPath).c_str());
        } else if (IsText(operation, "MODIFY")) {
            changeType = eNutanixAFSChangeModify;
            HOST_LOG(3, " Modify Snap path path [%s]", PathForMessage(strPath).c_str());
        } else if (IsText(operation, "RENAME")) {
            changeType = eNutanixAFSChangeRename;
            HOST_LOG(3, " Rename Snap path path [%s]", PathForMessage(strPath).c_str());
            if (HasLevel(3)) {
                HOST_LOG(3, "Old Snap path path [%s]",
                         object.oldPathIsSet() ? PathForMessage(object.getOldPath()).c_str() : "");
            }
        } else if (IsText(operation, "DELETE")) {
            changeType = eNutanixAFSChangeDelete;
            HOST_LOG(3, "Delete Snap path [%s]", PathForMessage(strPath).c_str());
            HOST_LOG(3, "Previous snap path [%s]", volumeInfo.strPreviousSnapPath.c_str());
        }
        if (changeType == eNutanixAFSChangeRename) {
            if (object.oldPathIsSet()) strOldPath = object.getOldPath();
            RemoveTrailingDelimiters(strOldPath);
            bool bInCompared = false;
            if (!RewriteSnapshotPath(volumeInfo, strOldPath, false, strScratch, &bInCompared)) {
                HOST_LOG(3, "Ignoring path [%s] since .snapshot not found in it",
                         PathForMessage(strPath).c_str());
                ++ullSkippedCount;
                return CRhError::Success();
            }
            if (!bInCompared) return NotInComparedSnapshots(strOldPath);
            eOldPlacement = PlaceBelowMount(strOldPath);
            if (eOldPlacement == eUnsafePlace) return UnsafePath(strOldPath);
        }
    }
    HOST_LOG(3, "Final path [%s]", PathForMessage(strPath).c_str());

    // The attributes were zeroed once, the scan database only reads them, and
    // every item sets the same members: zeroing 144 bytes per item ("rep
    // stos") took a third of this function's time.
    struct stat& attributes = statAttributes;
    attributes.st_ino = static_cast<ino_t>(llInode);
    attributes.st_mode = bIsDirectory ? 0x4000 : 0x8000;
    attributes.st_size = static_cast<off_t>(llSize);
    attributes.st_atim.tv_sec = static_cast<time_t>(ullATime);
    attributes.st_mtim.tv_sec = static_cast<time_t>(ullMTime);
    attributes.st_ctim.tv_sec = static_cast<time_t>(ullCTime);

    // Another snapshot's folder under the mount is not where the item lives:
    // handing that path over would invent a change the host cannot find.
    RemoveTrailingDelimiters(strPath);
    bool bInCompared = false;
    if (!RewriteSnapshotPath(volumeInfo, strPath, true, strScratch, &bInCompared)) {
        HOST_LOG(3, "Ignoring path [%s] since .snapshot not found in it", PathForMessage(strPath).c_str());
        ++ullSkippedCount;
        return CRhError::Success();
    }
    if (!bInCompared) return NotInComparedSnapshots(strPath);
    const EPlacement ePlacement = PlaceBelowMount(strPath);
    if (ePlacement == eUnsafePlace) return UnsafePath(strPath);
    if (changeType == eNutanixAFSChangeRename && eOldPlacement != ePlacement) {
        // A move across the mounted directory's edge: for this mount the
        // entry left (its old path is deleted) or arrived (it is new).
        if (ePlacement == eOutsideMount) {
            strPath.swap(strOldPath);
            changeType = eNutanixAFSChangeDelete;
        } else {
            changeType = eNutanixAFSChangeAdd;
        }
        strOldPath.clear();
    } else if (ePlacement == eOutsideMount) {
        IgnoreOutsideMount(strPath);
        return CRhError::Success();
    }
    HOST_LOG(
        2,
        "strItemPath [%s] , changeType [%d], ullATime [%llu], ullCrTime [%llu], ullCTime [%llu], ullMTime "
        "[%llu], ullSize [%lld], ullInodeNumber [%lld]",
        PathForMessage(strPath).c_str(), static_cast<int>(changeType),
        static_cast<unsigned long long>(ullATime), static_cast<unsigned long long>(ullCrTime),
        static_cast<unsigned long long>(ullCTime), static_cast<unsigned long long>(ullMTime),
        static_cast<long long>(llSize), static_cast<long long>(llInode));

    // A ".." or NUL would let the host place the item outside the share, or
    // under another name; end the comparison so the host falls back to a full
    // scan instead of silently misplacing a change.
    const size_t uNamesFrom = volumeInfo.strScanVolumePath.size();
    // What no file system can hold is not hostile, only unreadable here: it
    // is skipped and counted, and the rest of the difference still loads.
    const char* pszWhy = nullptr;
    const char* pszOldWhy = nullptr;
    const EItemPath eNew = CheckItemPath(strPath, uNamesFrom, &pszWhy);
    const EItemPath eOld = CheckItemPath(strOldPath, uNamesFrom, &pszOldWhy);
    if (eNew == EItemPath::eNoFileName || eOld == EItemPath::eNoFileName)
        return SkipUnnamed(strPath, pszWhy != nullptr ? pszWhy : pszOldWhy);
    if (eNew == EItemPath::eUnsafe) return UnsafePath(strPath);
    if (eOld == EItemPath::eUnsafe) return UnsafePath(strOldPath);

    CRhError error = dbHelper.ItemCallBack(strPath, strOldPath, changeType, attributes, bIsDirectory);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);
    ++llItemCount;
    return CRhError::Success();
}

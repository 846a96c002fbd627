#pragma once

// The record of a share taken when a snapshot is created: what the
// difference engine compares.

#include <cstdint>
#include <string>
#include <vector>

namespace afs_sim {

enum class EObjectType { eFile, eDirectory, eSymlink };

struct ManifestEntry {
    std::string strPath;  // relative to the share, '/'-separated, no leading '/'
    EObjectType eType = EObjectType::eFile;
    uint64_t uInode = 0;
    int64_t llSize = 0;
    // Nanoseconds since the Unix epoch.
    int64_t llAccessNs = 0;
    int64_t llModifyNs = 0;
    int64_t llChangeNs = 0;
    int64_t llCreateNs = 0;  // birth time; the change time where the file system has none
    // Whether llCreateNs is a real birth time. It tells a reused inode number
    // from the same file: a deleted file's inode often goes to the next new one.
    bool bBirthTime = false;
};

using Manifest = std::vector<ManifestEntry>;

// Records every file and directory below `strShareDir`, sorted by path. The
// share's top-level ".snapshot" folder is left out. Symbolic links are
// recorded as such and not followed; sockets, FIFOs and devices are left out.
// Returns an empty text on success, else what went wrong.
std::string CaptureManifest(const std::string& strShareDir, Manifest& manifest);

// One line per entry; paths escaped so that any byte survives. Written to a
// temporary file and renamed, so a crash never leaves half a manifest.
std::string SaveManifest(const std::string& strFile, const Manifest& manifest);
std::string LoadManifest(const std::string& strFile, Manifest& manifest);

}  // namespace afs_sim

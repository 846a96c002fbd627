#include "tools/afs-sim/SimState.h"

#include <simdjson.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_map>

#include "tools/afs-sim/FileText.h"
#include "tools/afs-sim/JsonText.h"
#include "tools/afs-sim/TreeCopy.h"
#include "tools/afs-sim/Uuid.h"

namespace afs_sim {
namespace fs = std::filesystem;
namespace {

std::string Text(simdjson::dom::element element, const char* szKey) {
    std::string_view text;
    if (element[szKey].get(text) != simdjson::SUCCESS) return {};
    return std::string(text);
}

std::string SnapshotJson(const SnapshotInfo& snapshot) {
    std::string strOut = "{\"uuid\":";
    AppendJsonString(strOut, snapshot.strUuid);
    strOut += ",\"name\":";
    AppendJsonString(strOut, snapshot.strName);
    strOut += ",\"mount_target_uuid\":";
    AppendJsonString(strOut, snapshot.strShareUuid);
    strOut += ",\"description\":";
    AppendJsonString(strOut, snapshot.strDescription);
    strOut += ",\"created_ns\":";
    AppendJsonInt(strOut, snapshot.llCreatedNs);
    strOut += ",\"sequence\":";
    AppendJsonInt(strOut, static_cast<int64_t>(snapshot.uSequence));
    strOut += "}\n";
    return strOut;
}

// Whether the two files (or symbolic links) hold the same bytes (or target).
bool SameBytes(const std::string& strA, const std::string& strB, bool bSymlink) {
    std::error_code error;
    if (bSymlink) return fs::read_symlink(strA, error) == fs::read_symlink(strB, error) && !error;
    std::ifstream a(strA, std::ios::binary), b(strB, std::ios::binary);
    char arrA[65536], arrB[65536];
    while (a && b) {
        a.read(arrA, sizeof arrA);
        b.read(arrB, sizeof arrB);
        if (a.gcount() != b.gcount() || std::memcmp(arrA, arrB, static_cast<size_t>(a.gcount())) != 0)
            return false;
    }
    return a.eof() && b.eof();
}

}  // namespace

bool IsSafeEntryName(const std::string& strName) {
    return !strName.empty() && strName.size() <= 255 && strName != "." && strName != ".." &&
           strName.find('/') == std::string::npos && strName.find('\0') == std::string::npos;
}

CSimState::CSimState(std::string strSharesDir, std::string strStateDir)
    : strSharesDir(std::move(strSharesDir)), strStateDir(std::move(strStateDir)) {}

std::string CSimState::Open(const std::string& strSharesDir, const std::string& strStateDir,
                            const std::vector<ShareOverride>& listOverrides,
                            std::unique_ptr<CSimState>& ptrState) {
    std::error_code error;
    if (!fs::is_directory(strSharesDir, error))
        return "shares folder " + strSharesDir + " is not a directory";
    fs::create_directories(fs::path(strStateDir) / "snapshots", error);
    if (error) return "cannot create state folder " + strStateDir + ": " + error.message();
    std::unique_ptr<CSimState> ptrNew(new CSimState(strSharesDir, strStateDir));
    std::string strError = ptrNew->Load(listOverrides);
    if (!strError.empty()) return strError;
    ptrState = std::move(ptrNew);
    return {};
}

std::string CSimState::Load(const std::vector<ShareOverride>& listOverrides) {
    simdjson::dom::parser parser;
    std::string strText;
    const std::string strSharesFile = strStateDir + "/shares.json";
    if (ReadFileText(strSharesFile, strText)) {
        simdjson::dom::array shares;
        if (parser.parse(strText)["shares"].get_array().get(shares) != simdjson::SUCCESS) {
            return strSharesFile + " is damaged";
        }
        for (simdjson::dom::element element : shares) {
            ShareInfo share;
            share.strName = Text(element, "name");
            share.strUuid = Text(element, "uuid");
            std::string strType = Text(element, "share_type");
            if (!strType.empty()) share.strShareType = strType;
            simdjson::dom::array capabilities;
            if (element["capability_list"].get_array().get(capabilities) == simdjson::SUCCESS) {
                share.listCapabilities.clear();
                for (simdjson::dom::element capability : capabilities) {
                    std::string_view text;
                    if (capability.get(text) == simdjson::SUCCESS) share.listCapabilities.emplace_back(text);
                }
            }
            if (!IsSafeEntryName(share.strName) || !IsUuidText(share.strUuid))
                return strSharesFile + " is damaged";
            listShares.push_back(std::move(share));
        }
    }
    for (const ShareOverride& override : listOverrides) {
        auto it = std::find_if(listShares.begin(), listShares.end(),
                               [&](const ShareInfo& share) { return share.strName == override.strName; });
        if (it == listShares.end()) {
            ShareInfo share;
            share.strName = override.strName;
            share.strUuid = NewUuid();
            it = listShares.insert(listShares.end(), share);
        }
        if (override.bHasType) it->strShareType = override.strShareType;
        if (override.bHasCapabilities) it->listCapabilities = override.listCapabilities;
    }

    const std::string strPartnersFile = strStateDir + "/partner_servers.json";
    if (ReadFileText(strPartnersFile, strText)) {
        simdjson::dom::array partners;
        if (parser.parse(strText)["partner_servers"].get_array().get(partners) != simdjson::SUCCESS) {
            return strPartnersFile + " is damaged";
        }
        for (simdjson::dom::element element : partners) {
            simdjson::dom::element resources;
            PartnerServerInfo partner{Text(element, "uuid"), Text(element, "name"), "{}"};
            if (element["resources"].get(resources) == simdjson::SUCCESS) {
                partner.strResourcesJson = simdjson::minify(resources);
            }
            listPartnerServers.push_back(std::move(partner));
        }
    }

    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(strStateDir + "/snapshots", error)) {
        // A folder without snapshot.json is a creation that did not finish.
        if (!ReadFileText((entry.path() / "snapshot.json").string(), strText)) continue;
        simdjson::dom::element element;
        if (parser.parse(strText).get(element) != simdjson::SUCCESS)
            return entry.path().string() + " is damaged";
        SnapshotInfo snapshot;
        snapshot.strUuid = Text(element, "uuid");
        snapshot.strName = Text(element, "name");
        snapshot.strShareUuid = Text(element, "mount_target_uuid");
        snapshot.strDescription = Text(element, "description");
        if (element["created_ns"].get(snapshot.llCreatedNs) != simdjson::SUCCESS ||
            element["sequence"].get(snapshot.uSequence) != simdjson::SUCCESS) {
            return entry.path().string() + " is damaged";
        }
        if (snapshot.strUuid != entry.path().filename().string() || !IsSafeEntryName(snapshot.strName)) {
            return entry.path().string() + " is damaged";
        }
        uNextSequence = std::max(uNextSequence, snapshot.uSequence + 1);
        listSnapshots.push_back(std::move(snapshot));
    }
    if (error) return "cannot read " + strStateDir + "/snapshots: " + error.message();
    std::sort(listSnapshots.begin(), listSnapshots.end(),
              [](const SnapshotInfo& a, const SnapshotInfo& b) { return a.uSequence < b.uSequence; });
    std::string strError = ScanShares();
    return strError.empty() && !listOverrides.empty() ? SaveShares() : strError;
}

std::string CSimState::ScanShares() {
    std::error_code error;
    std::vector<std::string> listNames;
    for (const fs::directory_entry& entry : fs::directory_iterator(strSharesDir, error)) {
        std::string strName = entry.path().filename().string();
        if (strName.empty() || strName[0] == '.' || !entry.is_directory(error)) continue;
        listNames.push_back(strName);
    }
    if (error) return "cannot read shares folder " + strSharesDir + ": " + error.message();
    bool bChanged = false;
    for (const std::string& strName : listNames) {
        bool bKnown = std::any_of(listShares.begin(), listShares.end(),
                                  [&](const ShareInfo& share) { return share.strName == strName; });
        if (bKnown) continue;
        ShareInfo share;
        share.strName = strName;
        share.strUuid = NewUuid();
        listShares.push_back(std::move(share));
        bChanged = true;
    }
    std::sort(listShares.begin(), listShares.end(),
              [](const ShareInfo& a, const ShareInfo& b) { return a.strName < b.strName; });
    return bChanged ? SaveShares() : std::string();
}

std::string CSimState::SaveShares() const {
    std::string strOut = "{\"shares\":[";
    for (size_t i = 0; i < listShares.size(); ++i) {
        const ShareInfo& share = listShares[i];
        strOut += i ? ",\n  {\"name\":" : "\n  {\"name\":";
        AppendJsonString(strOut, share.strName);
        strOut += ",\"uuid\":";
        AppendJsonString(strOut, share.strUuid);
        strOut += ",\"share_type\":";
        AppendJsonString(strOut, share.strShareType);
        strOut += ",\"capability_list\":[";
        for (size_t c = 0; c < share.listCapabilities.size(); ++c) {
            if (c) strOut.push_back(',');
            AppendJsonString(strOut, share.listCapabilities[c]);
        }
        strOut += "]}";
    }
    strOut += "\n]}\n";
    return WriteFileAtomically(strStateDir + "/shares.json", strOut);
}

std::string CSimState::SavePartnerServers() const {
    std::string strOut = "{\"partner_servers\":[";
    for (size_t i = 0; i < listPartnerServers.size(); ++i) {
        const PartnerServerInfo& partner = listPartnerServers[i];
        strOut += i ? ",\n  {\"uuid\":" : "\n  {\"uuid\":";
        AppendJsonString(strOut, partner.strUuid);
        strOut += ",\"name\":";
        AppendJsonString(strOut, partner.strName);
        strOut += ",\"resources\":";
        strOut += partner.strResourcesJson;
        strOut += "}";
    }
    strOut += "\n]}\n";
    return WriteFileAtomically(strStateDir + "/partner_servers.json", strOut);
}

std::string CSimState::SnapshotDir(const std::string& strUuid) const {
    return strStateDir + "/snapshots/" + strUuid;
}

const ShareInfo* CSimState::FindShareLocked(const std::string& strUuid) const {
    for (const ShareInfo& share : listShares) {
        if (share.strUuid == strUuid) return &share;
    }
    return nullptr;
}

std::vector<ShareInfo> CSimState::ListShares() {
    std::lock_guard<std::mutex> lock(mutex);
    ScanShares();
    std::vector<ShareInfo> listPresent;
    std::error_code error;
    for (const ShareInfo& share : listShares) {
        if (fs::is_directory(fs::path(strSharesDir) / share.strName, error)) listPresent.push_back(share);
    }
    return listPresent;
}

std::vector<SnapshotInfo> CSimState::ListSnapshots() {
    std::lock_guard<std::mutex> lock(mutex);
    return listSnapshots;
}

bool CSimState::FindSnapshot(const std::string& strUuid, SnapshotInfo& snapshot) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const SnapshotInfo& candidate : listSnapshots) {
        if (candidate.strUuid == strUuid) {
            snapshot = candidate;
            return true;
        }
    }
    return false;
}

std::string CSimState::LoadSnapshotManifest(const std::string& strUuid, Manifest& manifest) {
    return LoadManifest(SnapshotDir(strUuid) + "/manifest.tsv", manifest);
}

// A file whose inode, type, size and modification time are those of an
// entry in the share's newest snapshot, and whose bytes are too, is that
// entry, maybe under another name. The bytes are read unless the change time
// (which no user can set back) is also the same and lies a clock step before
// that snapshot: a rename, a new link or a rewrite of the same size whose
// modification time was put back all change it, and the clock it is taken
// from ticks in steps of up to some milliseconds, so a file changed again in
// the step in which that snapshot recorded it would look unchanged.
std::map<std::string, std::string> CSimState::UnchangedSinceLastSnapshot(const ShareInfo& share,
                                                                         const Manifest& manifest) {
    std::map<std::string, std::string> mapLinks;
    auto itLast =
        std::find_if(listSnapshots.rbegin(), listSnapshots.rend(),
                     [&](const SnapshotInfo& snapshot) { return snapshot.strShareUuid == share.strUuid; });
    Manifest earlier;
    if (itLast == listSnapshots.rend() || !LoadSnapshotManifest(itLast->strUuid, earlier).empty())
        return mapLinks;
    std::unordered_map<uint64_t, const ManifestEntry*> mapByInode;
    for (const ManifestEntry& entry : earlier) {
        if (entry.eType != EObjectType::eDirectory) mapByInode[entry.uInode] = &entry;
    }
    const std::string strShareDir = strSharesDir + "/" + share.strName + "/";
    const std::string strEarlierCopy = strShareDir + ".snapshot/" + itLast->strName + "/";
    constexpr int64_t kClockStepNs = 1000000000;  // far above any kernel's timestamp granularity
    for (const ManifestEntry& entry : manifest) {
        auto it = mapByInode.find(entry.uInode);
        if (entry.eType == EObjectType::eDirectory || it == mapByInode.end()) continue;
        const ManifestEntry& before = *it->second;
        if (before.eType != entry.eType || before.llSize != entry.llSize ||
            before.llModifyNs != entry.llModifyNs)
            continue;
        const bool bUntouched =
            before.llChangeNs == entry.llChangeNs && entry.llChangeNs < itLast->llCreatedNs - kClockStepNs;
        if (bUntouched || SameBytes(strShareDir + entry.strPath, strEarlierCopy + before.strPath,
                                    entry.eType == EObjectType::eSymlink))
            mapLinks[entry.strPath] = strEarlierCopy + before.strPath;
    }
    return mapLinks;
}

StateResult CSimState::CreateSnapshot(const std::string& strShareUuid, const std::string& strName,
                                      const std::string& strDescription, SnapshotInfo& snapshot) {
    if (!IsSafeEntryName(strName)) return {EStateError::eInvalid, "snapshot name not usable: " + strName};
    std::lock_guard<std::mutex> lock(mutex);
    const ShareInfo* pShare = FindShareLocked(strShareUuid);
    if (!pShare) {
        ScanShares();
        pShare = FindShareLocked(strShareUuid);
    }
    if (!pShare) return {EStateError::eNotFound, "mount target not found: " + strShareUuid};
    for (const SnapshotInfo& existing : listSnapshots) {
        if (existing.strShareUuid == strShareUuid && existing.strName == strName) {
            return {EStateError::eConflict, "snapshot exists: " + strName};
        }
    }
    const std::string strShareDir = strSharesDir + "/" + pShare->strName;
    const std::string strCopyDir = strShareDir + "/.snapshot/" + strName;
    std::error_code error;
    if (fs::exists(fs::symlink_status(strCopyDir, error))) {
        return {EStateError::eConflict, "snapshot folder exists: " + strCopyDir};
    }
    // The snapshot's time is that of the moment its record starts: every change
    // the record misses came later (see UnchangedSinceLastSnapshot).
    snapshot = SnapshotInfo();
    snapshot.llCreatedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    Manifest manifest;
    std::string strError = CaptureManifest(strShareDir, manifest);
    if (!strError.empty()) return {EStateError::eInternal, strError};

    snapshot.strUuid = NewUuid();
    snapshot.strName = strName;
    snapshot.strShareUuid = strShareUuid;
    snapshot.strDescription = strDescription;
    snapshot.uSequence = uNextSequence;
    const std::string strDir = SnapshotDir(snapshot.strUuid);
    fs::create_directories(strDir, error);
    if (error) return {EStateError::eInternal, "cannot create " + strDir + ": " + error.message()};
    strError = SaveManifest(strDir + "/manifest.tsv", manifest);
    if (strError.empty())
        strError = CopyShareTree(strShareDir, strCopyDir, UnchangedSinceLastSnapshot(*pShare, manifest));
    // snapshot.json is written last: its presence is what makes the snapshot exist.
    if (strError.empty()) strError = WriteFileAtomically(strDir + "/snapshot.json", SnapshotJson(snapshot));
    if (!strError.empty()) {
        std::error_code ignored;
        fs::remove_all(strDir, ignored);
        fs::remove_all(strCopyDir, ignored);
        return {EStateError::eInternal, strError};
    }
    ++uNextSequence;
    listSnapshots.push_back(snapshot);
    return {};
}

StateResult CSimState::DeleteSnapshot(const std::string& strUuid) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = std::find_if(listSnapshots.begin(), listSnapshots.end(),
                           [&](const SnapshotInfo& snapshot) { return snapshot.strUuid == strUuid; });
    if (it == listSnapshots.end()) return {EStateError::eNotFound, "snapshot not found: " + strUuid};
    const std::string strDir = SnapshotDir(strUuid);
    std::error_code error;
    fs::remove(strDir + "/snapshot.json", error);
    if (error)
        return {EStateError::eInternal, "cannot delete " + strDir + "/snapshot.json: " + error.message()};
    fs::remove_all(strDir, error);
    const ShareInfo* pShare = FindShareLocked(it->strShareUuid);
    if (pShare) {
        // Names were checked at creation, so this stays inside the share's .snapshot folder.
        fs::remove_all(strSharesDir + "/" + pShare->strName + "/.snapshot/" + it->strName, error);
    }
    listSnapshots.erase(it);
    return {};
}

StateResult CSimState::UpsertPartnerServer(const std::string& strName, const std::string& strResourcesJson,
                                           std::string& strUuid) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = std::find_if(listPartnerServers.begin(), listPartnerServers.end(),
                           [&](const PartnerServerInfo& partner) { return partner.strName == strName; });
    std::vector<PartnerServerInfo> listBefore = listPartnerServers;
    if (it == listPartnerServers.end()) {
        listPartnerServers.push_back({NewUuid(), strName, strResourcesJson});
        it = listPartnerServers.end() - 1;
    } else {
        it->strResourcesJson = strResourcesJson;
    }
    strUuid = it->strUuid;
    std::string strError = SavePartnerServers();
    if (!strError.empty()) {
        listPartnerServers = std::move(listBefore);
        return {EStateError::eInternal, strError};
    }
    return {};
}

std::vector<PartnerServerInfo> CSimState::ListPartnerServers() {
    std::lock_guard<std::mutex> lock(mutex);
    return listPartnerServers;
}

}  // namespace afs_sim

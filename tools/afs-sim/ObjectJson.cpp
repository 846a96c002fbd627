#include "tools/afs-sim/ObjectJson.h"

#include "tools/afs-sim/Iso8601.h"
#include "tools/afs-sim/JsonText.h"

namespace afs_sim {
namespace {

const char* OperationText(EOperation eOperation) {
    switch (eOperation) {
        case EOperation::eAdd:
            return "ADD";
        case EOperation::eModify:
            return "MODIFY";
        case EOperation::eRename:
            return "RENAME";
        case EOperation::eDelete:
            return "DELETE";
    }
    return "ADD";
}

void AppendSnapshotPath(std::string& strOut, const std::string& strName, const std::string& strRelative) {
    std::string strPath;
    strPath.reserve(12 + strName.size() + strRelative.size());
    strPath += "/.snapshot/";
    strPath += strName;
    strPath += '/';
    strPath += strRelative;
    AppendJsonString(strOut, strPath);
}

const char* TypeText(EObjectType eType) {
    switch (eType) {
        case EObjectType::eDirectory:
            return "\"DIRECTORY\"";
        case EObjectType::eSymlink:
            return "\"SYMLINK\"";
        case EObjectType::eFile:
            break;
    }
    return "\"FILE\"";
}

void AppendObject(std::string& strOut, const char* szOperation, EObjectType eType, int64_t llSize,
                  uint64_t uInode, const ManifestEntry& times) {
    strOut += ",\"object_type\":";
    strOut += TypeText(eType);
    strOut += ",\"operation_type\":\"";
    strOut += szOperation;
    strOut += "\",\"size\":";
    AppendJsonInt(strOut, llSize);
    strOut += ",\"inode_number\":";
    AppendJsonInt(strOut, static_cast<int64_t>(uInode));
    strOut += ",\"access_timestamp\":\"";
    AppendIso8601Utc(strOut, times.llAccessNs);
    strOut += "\",\"change_timestamp\":\"";
    AppendIso8601Utc(strOut, times.llChangeNs);
    strOut += "\",\"creation_timestamp\":\"";
    AppendIso8601Utc(strOut, times.llCreateNs);
    strOut += "\",\"modification_timestamp\":\"";
    AppendIso8601Utc(strOut, times.llModifyNs);
    strOut += "\"}";
}

// splitmix64: a cheap, well-mixed function of the index.
uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

}  // namespace

void AppendDiffObject(std::string& strOut, const DiffObject& object, const std::string& strNewerName,
                      const std::string& strOlderName) {
    strOut += "{\"path\":";
    bool bDelete = object.eOperation == EOperation::eDelete;
    AppendSnapshotPath(strOut, bDelete ? strOlderName : strNewerName, object.entry.strPath);
    strOut += ",\"old_path\":";
    if (object.eOperation == EOperation::eRename && !object.strOldPath.empty()) {
        AppendSnapshotPath(strOut, strOlderName, object.strOldPath);
    } else {
        strOut += "\"\"";
    }
    AppendObject(strOut, OperationText(object.eOperation), object.entry.eType, object.entry.llSize,
                 object.entry.uInode, object.entry);
}

void AppendSyntheticObject(std::string& strOut, uint64_t uIndex, const std::string& strNewerName,
                           const std::string& strOlderName) {
    uint64_t uHash = Mix(uIndex);
    unsigned uPick = static_cast<unsigned>(uHash % 100);
    EOperation eOperation = uPick < 40   ? EOperation::eAdd
                            : uPick < 70 ? EOperation::eModify
                            : uPick < 85 ? EOperation::eRename
                                         : EOperation::eDelete;
    bool bDirectory = (uHash >> 8) % 10 == 0;
    std::string strIndex = std::to_string(uIndex);
    std::string strFolder =
        "projects/p" + std::to_string(uIndex / 5000 % 200) + "/d" + std::to_string(uIndex / 50 % 100);
    std::string strLeaf = bDirectory ? "folder_" + strIndex : "document_" + strIndex + ".dat";

    strOut += "{\"path\":";
    AppendSnapshotPath(strOut, eOperation == EOperation::eDelete ? strOlderName : strNewerName,
                       strFolder + "/" + strLeaf);
    strOut += ",\"old_path\":";
    if (eOperation == EOperation::eRename) {
        AppendSnapshotPath(strOut, strOlderName, strFolder + "/old_" + strLeaf);
    } else {
        strOut += "\"\"";
    }
    ManifestEntry times;
    // 2026-01-01T00:00:00Z plus a spread of some days, with 100 ns ticks.
    int64_t llBase =
        1767225600LL * 1000000000LL + static_cast<int64_t>((uHash >> 16) % 8640000) * 100000000LL;
    times.llCreateNs = llBase;
    times.llModifyNs = llBase + static_cast<int64_t>((uHash >> 24) % 86400) * 1000000000LL + 1234500;
    times.llChangeNs = times.llModifyNs;
    times.llAccessNs = times.llModifyNs + 60LL * 1000000000LL;
    int64_t llSize = bDirectory ? 4096 : static_cast<int64_t>((uHash >> 32) % (64ULL << 20));
    AppendObject(strOut, OperationText(eOperation), bDirectory ? EObjectType::eDirectory : EObjectType::eFile,
                 llSize, 1000000ULL + uIndex, times);
}

std::string OddlySpelledPage(const std::string& strBody) {
    std::string strOut = strBody;
    // Member names appear with these quotes only as members: inside a JSON
    // string a quote is escaped.
    for (const char* szMember : {"\"object_type\":\"", "\"operation_type\":\""}) {
        const size_t uLength = std::char_traits<char>::length(szMember);
        for (size_t uAt = strOut.find(szMember); uAt != std::string::npos; uAt = strOut.find(szMember, uAt)) {
            uAt += uLength;
            for (; uAt < strOut.size() && strOut[uAt] != '"'; ++uAt) {
                if (strOut[uAt] >= 'A' && strOut[uAt] <= 'Z')
                    strOut[uAt] = static_cast<char>(strOut[uAt] - 'A' + 'a');
            }
        }
    }
    const std::string strTimestamp = "_timestamp\":\"";
    for (size_t uAt = strOut.find(strTimestamp); uAt != std::string::npos;
         uAt = strOut.find(strTimestamp, uAt)) {
        uAt += strTimestamp.size();
        const size_t uEnd = strOut.find('"', uAt);
        if (uEnd == std::string::npos || uEnd == uAt || strOut[uEnd - 1] != 'Z') break;
        const size_t uDot = strOut.find('.', uAt);
        const std::string strFraction =
            uDot < uEnd ? std::string(9 - (uEnd - 1 - uDot - 1), '0') : ".000000000";
        strOut.replace(uEnd - 1, 1, strFraction + "+00:00");
        uAt = uEnd;
    }
    return strOut;
}

}  // namespace afs_sim

#include "tools/afs-sim/Uuid.h"

#include <cstdint>
#include <mutex>
#include <random>

namespace afs_sim {

std::string NewUuid() {
    static std::mutex s_mutex;
    static std::mt19937_64 s_engine{std::random_device{}()};
    uint64_t uHigh;
    uint64_t uLow;
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        uHigh = s_engine();
        uLow = s_engine();
    }
    uHigh = (uHigh & ~0xF000ULL) | 0x4000ULL;
    uLow = (uLow & ~(0xC000ULL << 48)) | (0x8000ULL << 48);
    static const char kHex[] = "0123456789abcdef";
    std::string strUuid;
    strUuid.reserve(36);
    for (int i = 0; i < 32; ++i) {
        uint64_t uWord = i < 16 ? uHigh : uLow;
        int nShift = 60 - 4 * (i % 16);
        strUuid.push_back(kHex[(uWord >> nShift) & 0xF]);
        if (i == 7 || i == 11 || i == 15 || i == 19) strUuid.push_back('-');
    }
    return strUuid;
}

bool IsUuidText(const std::string& strText) {
    if (strText.size() != 36) return false;
    for (size_t i = 0; i < strText.size(); ++i) {
        char c = strText[i];
        bool bDash = i == 8 || i == 13 || i == 18 || i == 23;
        if (bDash != (c == '-')) return false;
        if (!bDash && !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

}  // namespace afs_sim

#include "tools/afs-sim/Iso8601.h"

namespace afs_sim {
namespace {

void AppendDigits(std::string& strOut, int64_t llValue, int nWidth) {
    char buffer[16];
    for (int i = nWidth - 1; i >= 0; --i) {
        buffer[i] = static_cast<char>('0' + llValue % 10);
        llValue /= 10;
    }
    strOut.append(buffer, static_cast<size_t>(nWidth));
}

}  // namespace

void AppendIso8601Utc(std::string& strOut, int64_t llNanoseconds) {
    if (llNanoseconds < 0) llNanoseconds = 0;
    int64_t llSeconds = llNanoseconds / 1000000000;
    int64_t llTicks = (llNanoseconds % 1000000000) / 100;
    int64_t llDays = llSeconds / 86400;
    int64_t llDaySeconds = llSeconds % 86400;
    // Civil date from days since 1970-01-01 (H. Hinnant's algorithm); a loop
    // over years would be too slow for synthetic pages.
    int64_t z = llDays + 719468;
    int64_t era = z / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    AppendDigits(strOut, y, 4);
    strOut.push_back('-');
    AppendDigits(strOut, m, 2);
    strOut.push_back('-');
    AppendDigits(strOut, d, 2);
    strOut.push_back('T');
    AppendDigits(strOut, llDaySeconds / 3600, 2);
    strOut.push_back(':');
    AppendDigits(strOut, (llDaySeconds / 60) % 60, 2);
    strOut.push_back(':');
    AppendDigits(strOut, llDaySeconds % 60, 2);
    if (llTicks != 0) {
        strOut.push_back('.');
        AppendDigits(strOut, llTicks, 7);
    }
    strOut.push_back('Z');
}

}  // namespace afs_sim

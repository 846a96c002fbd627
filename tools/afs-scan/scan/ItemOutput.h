#pragma once

#include <cstdio>
#include <string>

#include "tools/afs-scan/store/ScanDatabase.h"

namespace afs_scan {

enum EItemFormat { eItemFormatNone, eItemFormatJsonLines, eItemFormatCsv };

// Writes items to a stdio stream the caller owns, as JSON lines or CSV (its
// header line written at construction, so that a job without items still
// gives a valid CSV file). Paths are escaped so that any byte
// sequence stays one record.
class CItemOutput {
public:
    CItemOutput(EItemFormat eFormat, std::FILE* ptrStream);
    void Write(long long llJobId, const ScanItem& item);

    static std::string JsonEscape(const std::string& text);
    // ",\"NAME_base64\":\"...\"" with the exact bytes of a text that is not
    // valid UTF-8 (JsonEscape shows each bad byte as U+FFFD), else "".
    static std::string ExactBytes(const char* name, const std::string& text);
    static std::string CsvField(const std::string& text);

private:
    EItemFormat eFormat;
    std::FILE* ptrStream;
};

}  // namespace afs_scan

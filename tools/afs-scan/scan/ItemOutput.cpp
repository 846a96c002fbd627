#include "tools/afs-scan/scan/ItemOutput.h"

#include "host/TextEncoding.h"

namespace afs_scan {

std::string CItemOutput::JsonEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = p[i];
        // File names are byte strings: a byte outside well-formed UTF-8
        // becomes U+FFFD so that the line stays JSON; Write() adds the exact
        // bytes in base64 next to such a name.
        if (c >= 0x80) {
            const size_t uLength = afs_utf8::SequenceLength(p + i, text.size() - i);
            if (uLength == 0) {
                out += "\\ufffd";
            } else {
                out.append(text, i, uLength);
                i += uLength - 1;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof(buffer), "\\u%04x", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

std::string CItemOutput::ExactBytes(const char* name, const std::string& text) {
    if (afs_utf8::IsValid(text)) return std::string();
    return std::string(",\"") + name + "_base64\":\"" + afs_utf8::Base64(text) + "\"";
}

std::string CItemOutput::CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

CItemOutput::CItemOutput(EItemFormat eFormatIn, std::FILE* ptrStreamIn)
    : eFormat(eFormatIn), ptrStream(ptrStreamIn) {
    if (eFormat == eItemFormatCsv)
        std::fputs("job_id,path,old_path,change_type,is_dir,size,inode,atime,mtime,ctime\n", ptrStream);
}

void CItemOutput::Write(long long llJobId, const ScanItem& item) {
    if (eFormat == eItemFormatJsonLines) {
        std::fprintf(
            ptrStream,
            "{\"job_id\":%lld,\"path\":\"%s\",\"old_path\":\"%s\",\"change_type\":\"%s\",\"is_dir\":%s,"
            "\"size\":%lld,\"inode\":%lld,\"atime\":%lld,\"mtime\":%lld,\"ctime\":%lld%s%s}\n",
            llJobId, JsonEscape(item.strPath).c_str(), JsonEscape(item.strOldPath).c_str(),
            ChangeTypeName(item.eChangeType), item.bIsDirectory ? "true" : "false", item.llSize, item.llInode,
            item.llATime, item.llMTime, item.llCTime, ExactBytes("path", item.strPath).c_str(),
            ExactBytes("old_path", item.strOldPath).c_str());
    } else if (eFormat == eItemFormatCsv) {
        std::fprintf(ptrStream, "%lld,%s,%s,%s,%d,%lld,%lld,%lld,%lld,%lld\n", llJobId,
                     CsvField(item.strPath).c_str(), CsvField(item.strOldPath).c_str(),
                     ChangeTypeName(item.eChangeType), item.bIsDirectory ? 1 : 0, item.llSize, item.llInode,
                     item.llATime, item.llMTime, item.llCTime);
    }
}

}  // namespace afs_scan

#include "tools/afs-scan/ItemOutput.h"

std::string CItemOutput::JsonEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (unsigned char c : text) {
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

std::string CItemOutput::CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

void CItemOutput::Write(long long llJobId, const ScanItem& item) {
    if (eFormat == eItemFormatJsonLines) {
        std::fprintf(
            ptrStream,
            "{\"job_id\":%lld,\"path\":\"%s\",\"old_path\":\"%s\",\"change_type\":\"%s\",\"is_dir\":%s,"
            "\"size\":%lld,\"inode\":%lld,\"atime\":%lld,\"mtime\":%lld,\"ctime\":%lld}\n",
            llJobId, JsonEscape(item.strPath).c_str(), JsonEscape(item.strOldPath).c_str(),
            ChangeTypeName(item.eChangeType), item.bIsDirectory ? "true" : "false", item.llSize, item.llInode,
            item.llATime, item.llMTime, item.llCTime);
    } else if (eFormat == eItemFormatCsv) {
        if (!bHeaderWritten) {
            std::fputs("job_id,path,old_path,change_type,is_dir,size,inode,atime,mtime,ctime\n", ptrStream);
            bHeaderWritten = true;
        }
        std::fprintf(ptrStream, "%lld,%s,%s,%s,%d,%lld,%lld,%lld,%lld,%lld\n", llJobId,
                     CsvField(item.strPath).c_str(), CsvField(item.strOldPath).c_str(),
                     ChangeTypeName(item.eChangeType), item.bIsDirectory ? 1 : 0, item.llSize, item.llInode,
                     item.llATime, item.llMTime, item.llCTime);
    }
}

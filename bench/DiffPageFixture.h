#pragma once

// A difference page as the file server sends it: `count` objects of about
// 350 bytes each, a realistic mix of operations and types.

#include <cstdio>
#include <string>

inline std::string MakeDiffPageJson(int count, const std::string& newerSnap = "zkop__2_7_1234",
                                    const std::string& olderSnap = "zkop__2_7_1233") {
    static const char* const kOperations[] = {"ADD", "MODIFY", "RENAME", "DELETE"};
    std::string body =
        "{\"is_last_page\":false,\"should_retry_page\":false,\"next_page_token\":\"3000\","
        "\"object_list\":[";
    char buffer[1024];
    for (int i = 0; i < count; ++i) {
        const char* operation = kOperations[i % 4];
        const bool bDelete = i % 4 == 3;
        const bool bRename = i % 4 == 2;
        const std::string& snap = bDelete ? olderSnap : newerSnap;
        std::string oldPath;
        if (bRename) {
            snprintf(buffer, sizeof(buffer), "/.snapshot/%s/projects/dept%03d/reports/old-report-%07d.docx",
                     olderSnap.c_str(), i % 500, i);
            oldPath = buffer;
        }
        snprintf(
            buffer, sizeof(buffer),
            "%s{\"path\":\"/.snapshot/%s/projects/dept%03d/reports/quarterly-report-%07d.docx\","
            "\"old_path\":\"%s\",\"object_type\":\"%s\",\"operation_type\":\"%s\","
            "\"size\":%d,\"inode_number\":%d,"
            "\"access_timestamp\":\"2026-12-01T10:11:%02dZ\",\"change_timestamp\":\"2026-12-01T10:11:12Z\","
            "\"creation_timestamp\":\"2026-11-30T08:00:00Z\",\"modification_timestamp\":\"2026-12-01T10:11:"
            "12Z\"}",
            i == 0 ? "" : ",", snap.c_str(), i % 500, i, oldPath.c_str(), i % 10 == 0 ? "DIRECTORY" : "FILE",
            operation, 1000 + i, 100000 + i, i % 60);
        body += buffer;
    }
    body += "]}";
    return body;
}

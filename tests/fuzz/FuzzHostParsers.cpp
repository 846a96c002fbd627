// The settings file and the mount table are read from files an operator
// edits: any content must parse without crashing, and a mount entry found
// for a path must hold that path.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "host/FXPath.h"
#include "host/LogWriter.h"
#include "host/MntTab.h"
#include "host/PlatformInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string file = [] {
        g_ptrLogWriter.reset();  // keep the fuzzer's output readable
        char pattern[] = "/tmp/afs-fuzz-host-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        return std::string(pattern);
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (FILE* out = std::fopen(file.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
    ZKPlatformInfo settings(file);
    unsigned long long value = 0;
    std::string setting;
    settings.getNumber("FileSystemAgent", "uHAWaitTime", value);
    settings.getString("EventManager", "dEVLOGDIR", setting);

    ZkMntTab mountTable(file);
    std::vector<ZkMntTab::Entry> entries;
    mountTable.getAll(entries);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const ZkMntTab::Entry* ptrEntry = mountTable.find(entries, line);
        if (ptrEntry != nullptr && !FXPath::IsDescendantOf(line, ptrEntry->strDirectory, true))
            __builtin_trap();
    }
    return 0;
}

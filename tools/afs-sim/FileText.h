#pragma once

#include <string>

namespace afs_sim {

// Reads a whole file. Returns false when it cannot be read.
bool ReadFileText(const std::string& strFile, std::string& strText);

// Writes a temporary file beside `strFile` and renames it over, so readers
// and crashes see the old or the new content, never a mix. Returns an empty
// text on success, else what went wrong.
std::string WriteFileAtomically(const std::string& strFile, const std::string& strText);

}  // namespace afs_sim

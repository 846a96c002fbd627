#pragma once

#include <string>

namespace afs_sim {

// A random version-4 UUID in lower-case 8-4-4-4-12 form. Thread-safe.
std::string NewUuid();

// True for text in the form NewUuid() produces (any version, either case).
bool IsUuidText(const std::string& strText);

}  // namespace afs_sim

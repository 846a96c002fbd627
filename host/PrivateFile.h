#pragma once

// Opening the files a backup writes (logs, record files, settings it
// generates) safely in folders other local users may share, such as /tmp: a
// symbolic link planted there must not redirect a root backup's writes, a
// FIFO must not hang it, and what it writes must not be readable by others.

#include <cstdio>
#include <string>

#include "host/HostExport.h"

namespace afs_private_file {

// Opens `path` for writing with O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, created
// 0600 when missing; `flags` adds O_APPEND or O_TRUNC (and may add O_RDWR).
// Anything but a regular file is refused. An open interrupted by a signal is
// tried again. Returns the descriptor (blocking again), or -1 with `why`
// saying what is wrong and what to do, and errno the system's reason (0 when
// the file was refused for what it is).
HOST_EXPORT int Open(const std::string& path, int flags, std::string& why);

// The same as a stdio stream: mode "a" appends, "w" truncates. Null and `why`
// set on failure.
HOST_EXPORT FILE* OpenStream(const std::string& path, const char* mode, std::string& why);

// Creates the missing folders of `folder` with mode 0700, then checks that
// the folder itself can hold a log: owned by the running user (or root) and
// not writable by others unless sticky. False and `why` set otherwise.
HOST_EXPORT bool PrepareFolder(const std::string& folder, std::string& why);

// The folder part of `path` ("." when it has none).
HOST_EXPORT std::string FolderOf(const std::string& path);

// PrepareFolder for the file's folder, then Open as a stream; on a refusal it
// writes one line "<program>: <why>" on stderr and returns null, so that the
// caller goes on without that file.
HOST_EXPORT FILE* OpenLogStream(const std::string& path, const char* program);

}  // namespace afs_private_file

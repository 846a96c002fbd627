#include "host/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace afs_private_file {

int Open(const std::string& path, int flags, std::string& why) {
    if ((flags & O_RDWR) == 0) flags |= O_WRONLY;
    int nFile = -1;
    // Only an open that was itself interrupted is tried again.
    do {
        nFile = open(path.c_str(), flags | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    } while (nFile < 0 && errno == EINTR);
    if (nFile < 0) {
        const int nError = errno;
        // A FIFO without a reader: the non-blocking open says so at once.
        if (nError == ENXIO) {
            why = "refusing to write " + path + ": not a regular file; remove it or choose another folder";
            errno = 0;
            return -1;
        }
        why = "cannot open " + path + ": " + std::strerror(nError) +
              (nError == ELOOP ? " (a symbolic link; remove it or choose another folder)" : "");
        return -1;
    }
    struct stat status {};
    if (fstat(nFile, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(nFile);
        why = "refusing to write " + path + ": not a regular file; remove it or choose another folder";
        errno = 0;  // refused for what it is, not by the system
        return -1;
    }
    // Non-blocking was only there so that opening a FIFO could not hang.
    fcntl(nFile, F_SETFL, fcntl(nFile, F_GETFL) & ~O_NONBLOCK);
    return nFile;
}

FILE* OpenStream(const std::string& path, const char* mode, std::string& why) {
    const bool bAppend = mode[0] == 'a';
    const int nFile = Open(path, bAppend ? O_APPEND : O_TRUNC, why);
    if (nFile < 0) return nullptr;
    FILE* ptrStream = fdopen(nFile, bAppend ? "a" : "w");
    if (ptrStream == nullptr) {
        why = "cannot open " + path + ": " + std::strerror(errno);
        close(nFile);
    }
    return ptrStream;
}

bool PrepareFolder(const std::string& folder, std::string& why) {
    for (size_t uSlash = folder.find('/', 1); uSlash != std::string::npos;
         uSlash = folder.find('/', uSlash + 1)) {
        mkdir(folder.substr(0, uSlash).c_str(), 0700);
    }
    mkdir(folder.c_str(), 0700);
    struct stat status {};
    if (stat(folder.c_str(), &status) != 0) {
        why = "cannot use folder " + folder + ": " + std::strerror(errno) + "; create it or choose another";
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        why = "cannot use folder " + folder + ": not a folder; choose another";
        return false;
    }
    if (status.st_uid != geteuid() && status.st_uid != 0) {
        why = "refusing folder " + folder + ": owned by user " + std::to_string(status.st_uid) +
              ", not by this user; choose a folder of your own";
        return false;
    }
    if ((status.st_mode & S_IWOTH) != 0 && (status.st_mode & S_ISVTX) == 0) {
        why = "refusing folder " + folder +
              ": writable by every user without the sticky bit; chmod o-w or +t it";
        return false;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t uSlash = path.rfind('/');
    if (uSlash == std::string::npos) return ".";
    return uSlash == 0 ? "/" : path.substr(0, uSlash);
}

FILE* OpenLogStream(const std::string& path, const char* program) {
    std::string why;
    FILE* ptrStream = PrepareFolder(FolderOf(path), why) ? OpenStream(path, "a", why) : nullptr;
    if (ptrStream == nullptr) std::fprintf(stderr, "%s: %s\n", program, why.c_str());
    return ptrStream;
}

}  // namespace afs_private_file

#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

// One owner type per kind of system handle, so that no path out of a
// function, an exception included, leaves one open.
namespace afs_cli {

struct CloseStream {
    void operator()(std::FILE* ptrStream) const noexcept { std::fclose(ptrStream); }
};
using UniqueStream = std::unique_ptr<std::FILE, CloseStream>;

// Closes the stream now. False when there was none or when flushing what was
// written failed: a file written for someone else is only done once this
// holds.
inline bool CloseChecked(UniqueStream& ptrStream) {
    std::FILE* ptrRaw = ptrStream.release();
    return ptrRaw != nullptr && std::fclose(ptrRaw) == 0;
}

struct CloseDirectory {
    void operator()(DIR* ptrDirectory) const noexcept { closedir(ptrDirectory); }
};
using UniqueDirectory = std::unique_ptr<DIR, CloseDirectory>;

// A file descriptor, closed when its owner goes.
class CUniqueFd {
public:
    explicit CUniqueFd(int nFdIn = -1) : nFd(nFdIn) {}
    ~CUniqueFd() { Reset(); }
    CUniqueFd(CUniqueFd&& other) noexcept : nFd(other.Release()) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const { return nFd; }
    explicit operator bool() const { return nFd >= 0; }
    int Release() {
        const int nOld = nFd;
        nFd = -1;
        return nOld;
    }
    void Reset(int nNew = -1) {
        if (nFd >= 0) close(nFd);
        nFd = nNew;
    }

private:
    int nFd;
};

}  // namespace afs_cli

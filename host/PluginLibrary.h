#pragma once

#include "host/HostExport.h"  // first: it rejects a toolchain the kit cannot work with

#include <dlfcn.h>

#include <string>
#include <utility>

// Owns one dlopen() handle of a plug-in library and closes it on destruction.
// Objects the plug-in made must be deleted before this is destroyed: their
// code and vtables live in the library. Movable, not copyable.
class CPluginLibrary {
public:
    // Loads `path` with every symbol bound now and kept private to the
    // library, as a host loads a plug-in. On failure IsLoaded() is false and
    // GetError() holds dlerror()'s text.
    explicit CPluginLibrary(const std::string& path) : strPath(path) {
        dlerror();
        ptrHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (ptrHandle == nullptr) strError = LastDlError();
    }
    ~CPluginLibrary() {
        if (ptrHandle != nullptr) dlclose(ptrHandle);
    }
    CPluginLibrary(CPluginLibrary&& other) noexcept
        : strPath(std::move(other.strPath)),
          strError(std::move(other.strError)),
          ptrHandle(std::exchange(other.ptrHandle, nullptr)) {}
    CPluginLibrary& operator=(CPluginLibrary&& other) noexcept {
        if (this != &other) {
            if (ptrHandle != nullptr) dlclose(ptrHandle);
            strPath = std::move(other.strPath);
            strError = std::move(other.strError);
            ptrHandle = std::exchange(other.ptrHandle, nullptr);
        }
        return *this;
    }
    CPluginLibrary(const CPluginLibrary&) = delete;
    CPluginLibrary& operator=(const CPluginLibrary&) = delete;

    bool IsLoaded() const { return ptrHandle != nullptr; }
    const std::string& GetPath() const { return strPath; }
    // The dlerror() text of the last failed load or resolve; empty otherwise.
    const std::string& GetError() const { return strError; }

    // The address of `name`, or null with GetError() set.
    void* Resolve(const std::string& name) {
        if (ptrHandle == nullptr) {
            strError = "cannot resolve " + name + ": library not loaded";
            return nullptr;
        }
        dlerror();
        void* ptrSymbol = dlsym(ptrHandle, name.c_str());
        const char* error = dlerror();
        if (error != nullptr || ptrSymbol == nullptr) {
            strError = error != nullptr ? error : name + " resolves to null";
            return nullptr;
        }
        strError.clear();
        return ptrSymbol;
    }

    // Resolve() cast to a function pointer type, e.g. FGetNutanixAFSManager.
    template <typename FFunction>
    FFunction ResolveFunction(const std::string& name) {
        return reinterpret_cast<FFunction>(Resolve(name));
    }

private:
    static std::string LastDlError() {
        const char* error = dlerror();
        return error != nullptr ? error : "unknown dlopen failure";
    }

    std::string strPath;
    std::string strError;
    void* ptrHandle = nullptr;
};

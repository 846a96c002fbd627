#include "host/ContentMapper.h"

#include "host/FXPath.h"

namespace {

std::string WithoutTrailingDelimiters(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

CPrefixContentMapper::CPrefixContentMapper(const Map& prefixes) {
    for (const auto& prefix : prefixes) {
        mapPrefixes[WithoutTrailingDelimiters(prefix.first)] = WithoutTrailingDelimiters(prefix.second);
    }
}

CRhError CPrefixContentMapper::GetMappedPath(const std::string& localPath, std::string& mapped) {
    const Map::value_type* ptrBest = nullptr;
    for (const auto& prefix : mapPrefixes) {
        if (FXPath::IsDescendantOf(localPath, prefix.first, true) &&
            (ptrBest == nullptr || prefix.first.size() > ptrBest->first.size())) {
            ptrBest = &prefix;
        }
    }
    if (ptrBest == nullptr) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                       "No content mapping for [%s]", localPath.c_str());
    }
    std::string rest = ptrBest->first == "/" ? localPath : localPath.substr(ptrBest->first.size());
    mapped = ptrBest->second == "/" ? rest : ptrBest->second + rest;
    if (mapped.empty()) mapped = "/";
    return CRhError::Success();
}

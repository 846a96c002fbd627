#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/PluginLibrary.h"
#include "host/RhError.h"

namespace afs_scan {

// The plug-in libraries to try, in order: `strExplicit` alone when it is not
// empty, else libNutanixAFSManager.so in the installed plug-in folder
// (found relative to the running program), then in the program's folder,
// then, for a program in its build tree, the plug-in built in that tree.
std::vector<std::string> PluginCandidates(const std::string& strExplicit);

// Loads the first candidate that loads. On failure `ptrLibrary` stays empty
// and the error names every path tried with dlerror()'s text for it.
CRhError LoadPlugin(const std::vector<std::string>& listCandidates,
                    std::unique_ptr<CPluginLibrary>& ptrLibrary);

}  // namespace afs_scan

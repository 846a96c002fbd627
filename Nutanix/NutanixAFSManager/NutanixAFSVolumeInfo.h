#pragma once

#include <string>

// One selected share of the job and its snapshots.
struct NutanixAFSVolumeInfo {
    std::string strSourceVolume;     // mount device text: server ":" exported path
    std::string strVolumeMountPath;  // local mount directory
    std::string strVolumeUUID;       // the file server's mount target UUID
    std::string strCurrentSnapName;
    std::string strCurrentSnapPath;  // mount path + "/.snapshot/" + current name
    bool bPreviousSnapPresent = false;
    std::string strCurrentSnapUUID;
    std::string strPreviousSnapName;
    std::string strPreviousSnapUUID;
    std::string strPreviousSnapPath;
    std::string strScanVolumePath;  // the share's root in the host's scan form
    // The exported directory below the share's root that is mounted ("/sub"
    // for the device fs1:/share1/sub of share share1); empty when the share
    // is mounted at its root.
    std::string strShareSubPath;
};

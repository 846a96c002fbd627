#pragma once

#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

#include "host/HostExport.h"
#include "host/RhError.h"

// The host's content mapper: turns a local path into the host's scan form
// ("/" + host part + "/" + share + ...).
class HOST_EXPORT ContentMapperAPI {
public:
    typedef std::map<std::string, std::string> Map;

    virtual ~ContentMapperAPI() = default;
    // Fills `mapped` with `localPath` in scan form; leaves it unchanged and
    // returns an error when the path is not covered.
    virtual CRhError GetMappedPath(const std::string& localPath, std::string& mapped) = 0;
};

typedef boost::shared_ptr<ContentMapperAPI> ContentMapperAPIPtr;

// A prefix mapper: each key is a local directory, its value the scan-form
// directory that replaces it. The longest key that is a whole-component prefix
// of the path wins. A trailing "/" on the path is kept.
class HOST_EXPORT CPrefixContentMapper : public ContentMapperAPI {
public:
    explicit CPrefixContentMapper(const Map& mapPrefixes);
    CRhError GetMappedPath(const std::string& localPath, std::string& mapped) override;
    const Map& GetPrefixes() const { return mapPrefixes; }

private:
    Map mapPrefixes;
};

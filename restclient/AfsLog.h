#pragma once

namespace afs_log {

// Verbosity of the REST client's own request log.
enum severity_level {
    trace = 0,
    debug = 1,
    info = 2,
    warning = 3,
    error = 4,
    fatal = 5,
};

}  // namespace afs_log

// Placeholder until the HTTP transport lands: every operation fails loudly.
#include "restclient/NutanixException.h"
#include "restclient/RestBackend.h"

namespace afs_rest {

std::shared_ptr<IRestBackend> MakeHttpRestBackend(const RestClientConfig&) {
    throw NutanixException("CurlClient: this client has no transport");
}

}  // namespace afs_rest

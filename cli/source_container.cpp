// Containers through libavformat.
#include "source_detail.h"

namespace hvdv_cli {

#if !defined(HVDV_CLI_LIBAVFORMAT)

bool ContainersSupported() { return false; }

std::unique_ptr<FrameSource> OpenContainerSource(const std::string&, std::string* error) {
    *error = "this hvdv was built without libavformat: only raw DV can be read";
    return nullptr;
}

#endif

}  // namespace hvdv_cli

// The extension interface's information query: the decoder's product name,
// version and platform string.
#pragma once
#include <cstdint>

#include "hv_dec_dv.h"

namespace hvdv {

// Texts are written without their terminating zero: the caller provides at
// least 22 (name), 12 (version) or 15 (platform) bytes and terminates or
// clears its buffer itself when it wants a C string.  0 success, 1 failure.
int32_t HVDV_CALL DVDecQuery(int32_t selector, void* out);

}  // namespace hvdv

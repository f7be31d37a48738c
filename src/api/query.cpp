// The extension interface: an information query reporting the decoder's
// product name, version and platform string.
#include "api/query.h"

#include <cstring>

namespace hvdv {

namespace {

constexpr char kMakerWord[] = "Halvorsteen";
constexpr char kSeparator[] = " ";
constexpr char kProductWord[] = "DV Decoder";
constexpr char kPlatform[] = "HVPLATFORM_IA32";

enum QuerySelector : int32_t {
    kQueryProductName = 1,
    kQueryItem2 = 2,
    kQueryItem3 = 3,
    kQueryVersion = 4,
    kQueryPlatform = 5,
};

// Copies the platform string with its terminating zero into a buffer of
// "size" bytes; 1 when it does not fit, else 0.
int32_t PlatformString(char* buffer, size_t size) {
    if (size < sizeof kPlatform) return 1;
    std::memcpy(buffer, kPlatform, sizeof kPlatform);
    return 0;
}

}  // namespace

int32_t HVDV_CALL DVDecQuery(int32_t selector, void* out) {
    if (!out) return 1;
    switch (selector) {
        case kQueryProductName: {
            char name[128] = {};
            std::strcpy(name, kMakerWord);
            std::strcat(name, kSeparator);
            std::strcat(name, kProductWord);
            std::memcpy(out, name, std::strlen(name));
            return 0;
        }
        case kQueryItem2:
        case kQueryItem3: {
            const int32_t one = 1;
            std::memcpy(out, &one, sizeof one);
            return 0;
        }
        case kQueryVersion:
            std::memcpy(out, HVDV_VERSION_STRING, std::strlen(HVDV_VERSION_STRING));
            return 0;
        case kQueryPlatform: {
            char platform[64] = {};
            if (PlatformString(platform, sizeof platform) != 0 || platform[0] == '\0') return 1;
            std::memcpy(out, platform, std::strlen(platform));
            return 0;
        }
        default: return 1;
    }
}

}  // namespace hvdv

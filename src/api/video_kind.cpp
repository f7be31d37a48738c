// The frame kind used for decoding, from the STYPE field of the VAUX source
// pack: 4 (50 Mb/s 4:2:2, already told apart by ClassifyFrame), 0x14 (1080
// interlaced lines: 1280 coded samples per line at 60 fields, 1440 at 50),
// 0x15 (1035 lines) and 0x18 (720 progressive lines).
#include "api/classify.h"

namespace hvdv {

bool DecodingFrameType(const uint8_t* frame, uint32_t frameSize, uint32_t* type) {
    // The source pack is pack 39 of the first DIF sequence, 368 bytes after
    // the header DIF block (byte 0x3F at the start: stored without it).
    const uint32_t base = frameSize > 0 && frame[0] == 0x3F ? 0 : 80;
    const uint32_t pack = base + 368;
    if (pack + 4 >= frameSize || frame[pack] != 0x60) return true;
    const int stype = frame[pack + 3] & 0x1F;
    const uint32_t system = *type & kFrame525;
    switch (stype) {
        case 0x14: *type = (*type & ~0xFFu) | kFrameHD1080 | kFrame422 | system; return true;
        case 0x18: *type = (*type & ~0xFFu) | kFrameHD720 | kFrame422 | system; return true;
        case 0x15: return false;
        default: return true;
    }
}

}  // namespace hvdv

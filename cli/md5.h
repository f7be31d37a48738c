// MD5 message digest (RFC 1321), for checksums of decoded pictures.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace hvdv_cli {

class Md5 {
public:
    Md5() { Reset(); }
    void Reset();
    void Update(const void* data, size_t size);
    // Finishes the digest and returns it as 32 lower-case hex digits; the
    // object starts a new digest afterwards.
    std::string HexDigest();

private:
    void Block(const uint8_t* block);

    uint32_t state_[4];
    uint64_t length_;      // bytes hashed so far
    uint8_t pending_[64];  // start of an incomplete block
    size_t pendingSize_;
};

}  // namespace hvdv_cli

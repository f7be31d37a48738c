#include "md5.h"

#include <cstring>

namespace hvdv_cli {

namespace {

// Per-step left rotations: four per round, each repeated over the round's
// sixteen steps.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// The additive constants: floor(2^32 x |sin(i + 1)|), i = 0..63.
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

void Md5::Reset() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    length_ = 0;
    pendingSize_ = 0;
}

// One 64-byte block: sixteen little-endian words, four rounds of sixteen
// steps, each round with its own mixing function and word order.
void Md5::Block(const uint8_t* block) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 | uint32_t(block[4 * i + 2]) << 16 |
               uint32_t(block[4 * i + 3]) << 24;
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        uint32_t f;
        int word;
        switch (round) {
            case 0: f = (b & c) | (~b & d); word = i; break;
            case 1: f = (d & b) | (~d & c); word = (5 * i + 1) % 16; break;
            case 2: f = b ^ c ^ d; word = (3 * i + 5) % 16; break;
            default: f = c ^ (b | ~d); word = (7 * i) % 16; break;
        }
        const uint32_t rotated = RotateLeft(a + f + kSine[i] + m[word], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b += rotated;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md5::Update(const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    length_ += size;
    if (pendingSize_) {
        const size_t take = size < 64 - pendingSize_ ? size : 64 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, bytes, take);
        pendingSize_ += take;
        bytes += take;
        size -= take;
        if (pendingSize_ < 64) return;
        Block(pending_);
        pendingSize_ = 0;
    }
    for (; size >= 64; bytes += 64, size -= 64) Block(bytes);
    std::memcpy(pending_, bytes, size);
    pendingSize_ = size;
}

std::string Md5::HexDigest() {
    // Padding: a 1 bit, zeros up to 56 bytes modulo 64, then the message
    // length in bits as a 64-bit little-endian number.
    const uint64_t bits = length_ * 8;
    uint8_t tail[72] = {0x80};
    const size_t padding = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
    for (int i = 0; i < 8; ++i) tail[padding + i] = uint8_t(bits >> (8 * i));
    Update(tail, padding + 8);

    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (uint32_t word : state_)
        for (int i = 0; i < 4; ++i) {
            const uint8_t byte = uint8_t(word >> (8 * i));
            hex += kHex[byte >> 4];
            hex += kHex[byte & 15];
        }
    Reset();
    return hex;
}

}  // namespace hvdv_cli

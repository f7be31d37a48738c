// Shared pieces of the fuzz targets: a reader of leading parameter bytes and
// exact-size heap copies, so that AddressSanitizer sees any access past the
// end of what the library was given.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace hvdv_fuzz {

// Takes parameter bytes off the front of the input; past the end it yields 0.
class ParamReader {
public:
    ParamReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t Word() { return (uint16_t)((Byte() << 8) | Byte()); }
    // Skips `count` parameter bytes (as many as there are).
    void Skip(size_t count) { pos_ = pos_ + count < size_ ? pos_ + count : size_; }
    const uint8_t* Rest() const { return data_ + pos_; }
    size_t RestSize() const { return size_ - pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A heap block of exactly `size` bytes (at least one, so that an empty copy
// still has a valid address).  ASan reports any access outside it.
class ExactBuffer {
public:
    explicit ExactBuffer(size_t size) : size_(size), p_(static_cast<uint8_t*>(std::malloc(size ? size : 1))) {
        if (!p_) std::abort();
    }
    ExactBuffer(const uint8_t* data, size_t size) : ExactBuffer(size) {
        if (size) std::memcpy(p_, data, size);
    }
    ~ExactBuffer() { std::free(p_); }
    ExactBuffer(const ExactBuffer&) = delete;
    ExactBuffer& operator=(const ExactBuffer&) = delete;
    uint8_t* data() const { return p_; }
    size_t size() const { return size_; }

private:
    size_t size_;
    uint8_t* p_;
};

// Stops the run when a property of the result does not hold; libFuzzer
// records the input as a crash.
inline void Require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace hvdv_fuzz

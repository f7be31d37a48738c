// A caller's picture surrounded by guard bytes, with padding at the end of
// every row, for tests that check that a decode writes only inside the
// picture it was given.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hvdv_test {

class GuardedPicture {
public:
    static constexpr size_t kGuardBytes = 4096;
    static constexpr uint8_t kGuardValue = 0xC3;

    // rowPadding: bytes after each row that belong to the caller, not the
    // picture.  bottomUp: negative pitch, the decode gets the last row.
    GuardedPicture(uint32_t width, uint32_t height, uint32_t bytesPerPixel, uint32_t rowPadding, bool bottomUp)
        : width_(width), height_(height), rowBytes_((size_t)width * bytesPerPixel), stride_(rowBytes_ + rowPadding),
          bottomUp_(bottomUp), bytes_(2 * kGuardBytes + stride_ * height, kGuardValue) {
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = bytes_.data() + kGuardBytes + y * stride_;
            for (size_t i = 0; i < rowBytes_; ++i) row[i] = 0x5A;
        }
    }

    uint8_t* Top() {
        uint8_t* first = bytes_.data() + kGuardBytes;
        return bottomUp_ && height_ > 0 ? first + (height_ - 1) * stride_ : first;
    }
    int32_t Pitch() const { return bottomUp_ ? -(int32_t)stride_ : (int32_t)stride_; }
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }

    // The picture rows, top row first, without padding.
    std::vector<uint8_t> Rows() const {
        std::vector<uint8_t> rows;
        for (uint32_t i = 0; i < height_; ++i) {
            const uint32_t y = bottomUp_ ? height_ - 1 - i : i;
            const uint8_t* row = bytes_.data() + kGuardBytes + y * stride_;
            rows.insert(rows.end(), row, row + rowBytes_);
        }
        return rows;
    }

    // Empty when every guard and padding byte still holds its value, else
    // where the first changed byte is (from the first byte of memory row 0).
    std::string Trespass() const {
        for (size_t i = 0; i < bytes_.size(); ++i) {
            const size_t at = i - kGuardBytes;  // wraps below the first row
            const bool inPicture = i >= kGuardBytes && at < stride_ * height_ && at % stride_ < rowBytes_;
            if (!inPicture && bytes_[i] != kGuardValue)
                return "byte " + std::to_string((long long)i - (long long)kGuardBytes) + " was written";
        }
        return {};
    }

private:
    uint32_t width_, height_;
    size_t rowBytes_, stride_;
    bool bottomUp_;
    std::vector<uint8_t> bytes_;
};

}  // namespace hvdv_test

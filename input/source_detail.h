// Pieces shared by the frame sources (source.cpp, source_container.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "source.h"

namespace hvdv_input {

enum class FrameStart { kNone, kHeader, kNoHeader };

// Whether a DV frame starts at p: with its header block, or (frames stored
// without header blocks) with its first subcode block.  secondPair: the
// second picture of a 720-line frame (channels 2 and 3) counts as a start.
FrameStart FrameStartAt(const uint8_t* p, size_t available, bool secondPair = false);

// Whether the bytes begin like an AVI, QuickTime / MP4 or MXF file.
bool LooksLikeContainer(const uint8_t* p, size_t n);

// Raw DV from an open file (taken over; standard input is not closed).
std::unique_ptr<FrameSource> OpenRawSource(FILE* file, const std::string& name, std::string* error);

// A container read with libavformat (only in builds that have it).
std::unique_ptr<FrameSource> OpenContainerSource(const std::string& path, std::string* error);

}  // namespace hvdv_input

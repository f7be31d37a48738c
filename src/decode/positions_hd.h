// Frame geometry of the 50 Mb/s and high-definition DV systems: how many DIF
// channels and sequences a frame has, and where each compressed macroblock
// lies in the picture.
#pragma once
#include <cstdint>

namespace hvdv {

// One decoded picture's share of the frame.  A 50 Mb/s frame is two DIF
// channels of 25 Mb/s size, a 1080-line frame four; a 720-line frame is four
// channels holding two pictures, one per pair of channels, and each pair is
// decoded on its own.
struct DVVideoGeometry {
    int frameKind;        // 0x04, 0x05, 0x14, 0x15, 0x24 or 0x25
    int channels;         // DIF channels of one picture
    int sequences;        // DIF sequences per channel
    int blocksPerMacroblock;  // 6 (4:2:2 at 50 Mb/s) or 8 (high definition)
    int codedWidth, codedHeight;
    int videoMacroblocks;  // macroblocks that carry picture
};

// Null for a kind without a macroblock layout here.
const DVVideoGeometry* VideoGeometry(int frameKind);

// Top-left luma sample of macroblock m (0-4) of video segment j (0-26) of
// DIF sequence s of channel c (0-3, as the DIF block ID gives it).  False
// when that macroblock carries no video in this kind or an index is out of
// range.  A macroblock is 16 x 8 at 50 Mb/s; in high definition 16 x 16,
// except on the last row of a 1080-line picture (y = 1072), 32 x 8.
bool MacroblockPosition(int frameKind, int c, int s, int j, int m, int* x, int* y);

// False for the DIF sequences a kind leaves without video: sequence 11 of
// channels 1-3 at 1080 lines and 50 fields, sequences 10 and 11 at 720 lines
// and 50 frames.
bool SequenceCarriesVideo(int frameKind, int c, int s);

}  // namespace hvdv

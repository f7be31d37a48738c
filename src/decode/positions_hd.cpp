// Macroblock positions of the 50 Mb/s and high-definition systems.
//
// As at 25 Mb/s, the five macroblocks of a video segment come from five
// places spread across the picture (so that a damaged segment does not wipe
// out one area), and consecutive segments walk down and across columns of
// macroblocks.  Each system has its own walk:
//   - 50 Mb/s: 16 x 8 macroblocks in columns of three; the two channels
//     interleave bands of three macroblock rows.
//   - 1080 lines: 16 x 16 macroblocks; segments are numbered across the
//     whole frame (B) and spread over 10 (60-field) or 11 (50-field) bands
//     of six macroblock rows, channels 1 and 3 taking the right half of a
//     band's columns and channels 2 and 3 the odd rows.  The 60-field
//     picture is 1280 wide, so the walk's 90 columns overhang by 10; the
//     overhang is folded back into the top rows, the bottom rows and a last
//     strip of 32 x 8 macroblocks.  The 50-field picture keeps a spare
//     sequence in channel 0 for its first row and that strip.
//   - 720 lines: 16 x 16 macroblocks in bands of four and a half rows.
#include "decode/positions_hd.h"

namespace hvdv {

namespace {

// Per macroblock m of a segment: band offset, and the first column of its
// part of the picture in the 90-, 60- and 45-column walks.
constexpr int kBandOffset[5] = {2, 6, 8, 0, 4};
constexpr int kColumn90[5] = {36, 18, 54, 0, 72};
constexpr int kColumn60[5] = {24, 12, 36, 0, 48};
constexpr int kColumn45[5] = {18, 9, 27, 0, 36};
// Row within a column of three for segment j: down, then up.
constexpr int kSerpent[6] = {0, 1, 2, 2, 1, 0};

constexpr DVVideoGeometry kGeometries[] = {
    {0x04, 2, 12, 6, 720, 576, 3240},   // 625/50 4:2:2
    {0x05, 2, 10, 6, 720, 480, 2700},   // 525/60 4:2:2
    {0x14, 2, 12, 8, 960, 720, 2700},   // 720 lines, 50 frames (sequences 10, 11 empty)
    {0x15, 2, 10, 8, 960, 720, 2700},   // 720 lines, 60 frames
    {0x24, 4, 12, 8, 1440, 1080, 6075}, // 1080 lines, 50 fields
    {0x25, 4, 10, 8, 1280, 1080, 5400}, // 1080 lines, 60 fields
};

bool Position50(int sequences, int c, int s, int j, int m, int* x, int* y) {
    if (c > 1) return false;
    *x = 16 * (kColumn45[m] + j / 3);
    *y = 8 * (kSerpent[j % 6] + 3 * (2 * ((s + kBandOffset[m]) % sequences) + c));
    return true;
}

bool Position1080x60(int c, int s, int j, int m, int* x, int* y) {
    const int B = (10 * c + s) * 27 + j;
    const int r = (4 * c + s / 5 + 2 * B + kBandOffset[m]) % 10;
    const int k = (B / 5) % 27;
    int col = kColumn90[m] + 9 * (c & 1) + k % 9;
    int row = 2 * (3 * r + k / 9) + (c >> 1) + 4;
    if (col >= 80) {
        // Columns 80-89 are folded: rows 4-35 into the top four rows, rows
        // 36-59 below row 63, rows 60-63 into the bottom strip.
        const int d = col - 80;
        if (row < 36) {
            col = 10 * ((row - 4) / 4) + d;
            row = (row - 4) % 4;
        } else if (row < 60) {
            col = 10 * ((row - 36) / 3) + d;
            row = 64 + (row - 36) % 3;
        } else {
            *x = 320 * (row - 60) + 32 * d;
            *y = 1072;
            return true;
        }
    }
    *x = 16 * col;
    *y = 16 * row;
    return true;
}

bool Position1080x50(int c, int s, int j, int m, int* x, int* y) {
    if (s == 11) {
        // The spare sequence of channel 0: row 0 and the bottom strip.
        const int t = 27 * m + j;
        if (t < 90) {
            *x = 16 * t;
            *y = 0;
        } else {
            *x = 32 * (t - 90);
            *y = 1072;
        }
        return true;
    }
    const int B = (11 * c + s) * 27 + j;
    const int r = (4 * c + B + kBandOffset[m]) % 11;
    const int k = (B / 11) % 27;
    *x = 16 * (kColumn90[m] + 9 * (c & 1) + k % 9);
    *y = 16 * (2 * (3 * r + k / 9) + (c >> 1) + 1);
    return true;
}

bool Position720(int c, int s, int j, int m, int* x, int* y) {
    const int B = (10 * c + s) * 27 + j;
    const int r = (4 * c + s / 5 + 2 * B + kBandOffset[m]) % 10;
    const int k = (B / 5) % 27 + 3 * (r & 1);
    *x = 16 * (kColumn60[m] + k % 6 + 6 * (c & 1));
    *y = 16 * ((9 * r / 2 + k / 6 + 45 * (c >> 1)) % 45);
    return true;
}

}  // namespace

const DVVideoGeometry* VideoGeometry(int frameKind) {
    for (const DVVideoGeometry& g : kGeometries)
        if (g.frameKind == frameKind) return &g;
    return nullptr;
}

bool SequenceCarriesVideo(int frameKind, int c, int s) {
    if (frameKind == 0x24) return !(s == 11 && c != 0);
    if (frameKind == 0x14) return s < 10;
    return true;
}

bool MacroblockPosition(int frameKind, int c, int s, int j, int m, int* x, int* y) {
    const DVVideoGeometry* g = VideoGeometry(frameKind);
    if (!g || c < 0 || c > 3 || s < 0 || s >= g->sequences || j < 0 || j > 26 || m < 0 || m > 4 ||
        !SequenceCarriesVideo(frameKind, c, s))
        return false;
    switch (frameKind) {
        case 0x04:
        case 0x05: return Position50(g->sequences, c, s, j, m, x, y);
        case 0x14:
        case 0x15: return Position720(c, s, j, m, x, y);
        case 0x24: return Position1080x50(c, s, j, m, x, y);
        case 0x25: return Position1080x60(c, s, j, m, x, y);
        default: return false;
    }
}

}  // namespace hvdv

// CEA-608 decoding, one field's pairs at a time.
#include "cea608.h"

#include <cstring>

namespace hvdv_cc {

namespace {

// The standard characters that differ from ASCII.
uint32_t Standard(uint8_t c) {
    switch (c) {
        case 0x2A: return 0xE1;    // á
        case 0x5C: return 0xE9;    // é
        case 0x5E: return 0xED;    // í
        case 0x5F: return 0xF3;    // ó
        case 0x60: return 0xFA;    // ú
        case 0x7B: return 0xE7;    // ç
        case 0x7C: return 0xF7;    // ÷
        case 0x7D: return 0xD1;    // Ñ
        case 0x7E: return 0xF1;    // ñ
        case 0x7F: return 0x2588;  // solid block
        default: return c;
    }
}

// Special characters: second byte 0x30-0x3F after 0x11 (0x19).  0x39 is the
// transparent space.
const uint16_t kSpecial[16] = {0xAE, 0xB0, 0xBD, 0xBF, 0x2122, 0xA2, 0xA3, 0x266A,
                               0xE0, 0x20, 0xE8, 0xE2, 0xEA,   0xEE, 0xF4, 0xFB};

// Extended characters: second byte 0x20-0x3F after 0x12 (0x1A): Spanish,
// miscellaneous and French; after 0x13 (0x1B): Portuguese, German and
// Danish.
const uint16_t kExtended[2][32] = {
    {0xC1, 0xC9, 0xD3, 0xDA, 0xDC, 0xFC, 0x2018, 0xA1, 0x2A, 0x2019, 0x2014, 0xA9, 0x2120, 0x2022, 0x201C, 0x201D,
     0xC0, 0xC2, 0xC7, 0xC8, 0xCA, 0xCB, 0xEB,   0xCE, 0xCF, 0xEF,   0xD4,   0xD9, 0xF9,   0xDB,   0xAB,   0xBB},
    {0xC3, 0xE3, 0xCD, 0xCC, 0xEC, 0xD2, 0xF2, 0xD5, 0xF5, 0x7B, 0x7D, 0x5C, 0x5E, 0x5F, 0x7C, 0x7E,
     0xC4, 0xE4, 0xD6, 0xF6, 0xDF, 0xA5, 0xA4, 0xA6, 0xC5, 0xE5, 0xD8, 0xF8, 0x250C, 0x2510, 0x2514, 0x2518}};

// Rows of the preamble address codes: first byte's low three bits, then
// the second byte's bit 5 picks the lower row of the pair (row 11 alone).
const int kPreambleRows[8] = {11, 1, 3, 12, 14, 5, 7, 9};

void AppendUtf8(std::string* s, uint32_t c) {
    if (c < 0x80) {
        *s += char(c);
    } else if (c < 0x800) {
        *s += char(0xC0 | c >> 6);
        *s += char(0x80 | (c & 0x3F));
    } else {
        *s += char(0xE0 | c >> 12);
        *s += char(0x80 | ((c >> 6) & 0x3F));
        *s += char(0x80 | (c & 0x3F));
    }
}

}  // namespace

bool OddParity(uint8_t byte) {
    int ones = 0;
    for (int b = byte; b; b >>= 1) ones += b & 1;
    return ones & 1;
}

Decoder::Decoder(int channel)
    : field_(channel >= 3 ? 1 : 0), channel_((channel >= 1 && channel <= 4 ? channel - 1 : 0) & 1) {}

void Decoder::Clear(Memory& m) { std::memset(m, 0, sizeof m); }

void Decoder::Push(uint64_t frame, uint8_t byte1, uint8_t byte2) {
    const bool good1 = OddParity(byte1), good2 = OddParity(byte2);
    if (!good1 || !good2) ++parityErrors_;
    const uint8_t b1 = byte1 & 0x7F, b2 = byte2 & 0x7F;
    const bool repeat = haveLast_ && b1 == last_[0] && b2 == last_[1];
    haveLast_ = false;
    bool acted = false;  // padding and skipped pairs leave the screen as it was
    if (b1 >= 0x10 && b1 < 0x20) {
        // A control code: both bytes must be right, and its copy in the
        // next pair is the same command sent twice.
        if (good1 && good2 && !repeat) {
            xds_ = false;
            Control(b1, b2);
            acted = true;
            last_[0] = b1;
            last_[1] = b2;
            haveLast_ = true;
        }
    } else if (field_ == 1 && b1 >= 0x01 && b1 < 0x10 && good1) {
        // Extended data service on field 2: 0x0F closes the packet.
        xds_ = b1 != 0x0F;
    } else if (!xds_ && current_ == channel_ && mode_ != Mode::kNone && mode_ != Mode::kText) {
        // Characters, a bad one shown as the solid block; 0x00 is padding.
        const uint8_t chars[2] = {b1, b2};
        const bool good[2] = {good1, good2};
        for (int k = 0; k < 2; ++k) {
            if (good[k] && chars[k] < 0x20) continue;
            Put(good[k] ? Standard(chars[k]) : Standard(0x7F));
            acted = true;
        }
    }
    if (acted) Update(frame);
}

void Decoder::Control(uint8_t b1, uint8_t b2) {
    current_ = (b1 >> 3) & 1;
    if (current_ != channel_) return;
    const uint8_t group = b1 & 0x07;
    if (b2 >= 0x40) {
        Preamble(b1, b2);
        return;
    }
    if (mode_ == Mode::kText && !(group >= 4 && group <= 5 && b2 >= 0x20 && b2 <= 0x2F)) return;
    if (group == 1 && b2 >= 0x20 && b2 <= 0x2F) {
        Put(0x20);  // a mid-row code (colour, italics, underline) takes a cell as a space
    } else if (group == 1 && b2 >= 0x30 && b2 <= 0x3F) {
        Put(kSpecial[b2 - 0x30]);
    } else if ((group == 2 || group == 3) && b2 >= 0x20 && b2 <= 0x3F) {
        // An extended character replaces the standard one sent before it.
        Backspace();
        Put(kExtended[group - 2][b2 - 0x20]);
    } else if ((group == 4 || group == 5) && b2 >= 0x20 && b2 <= 0x2F) {
        Misc(b2);
    } else if (group == 7 && b2 >= 0x21 && b2 <= 0x23) {
        column_ = column_ + (b2 - 0x20) < kColumns ? column_ + (b2 - 0x20) : kColumns - 1;  // tab offset
    }
    // Background and other attribute codes change no text.
}

void Decoder::Misc(uint8_t code) {
    // In text mode the commands that edit a row belong to the text.
    if (mode_ == Mode::kText && (code == 0x21 || code == 0x24 || code == 0x2D)) return;
    switch (code) {
        case 0x20:  // RCL: resume caption loading
            mode_ = Mode::kPopOn;
            break;
        case 0x21:  // BS
            Backspace();
            break;
        case 0x24:  // DER: delete to end of row
            if (mode_ == Mode::kNone) break;
            for (int c = column_; c < kColumns; ++c) Writing()[row_][c] = 0;
            break;
        case 0x25:
        case 0x26:
        case 0x27:  // RU2, RU3, RU4
            RollUp(code - 0x23);
            break;
        case 0x29:  // RDC: resume direct captioning
            mode_ = Mode::kPaintOn;
            break;
        case 0x2A:
        case 0x2B:  // TR, RTD: text mode, not captions
            mode_ = Mode::kText;
            break;
        case 0x2C:  // EDM
            Clear(*shown_);
            boundary_ = true;
            break;
        case 0x2D:  // CR
            if (mode_ == Mode::kRollUp) CarriageReturn();
            break;
        case 0x2E:  // ENM
            Clear(*hidden_);
            break;
        case 0x2F: {  // EOC: the loaded caption is shown
            Memory* m = shown_;
            shown_ = hidden_;
            hidden_ = m;
            mode_ = Mode::kPopOn;
            boundary_ = true;
            break;
        }
        default:  // AOF, AON, FON
            break;
    }
}

void Decoder::Preamble(uint8_t b1, uint8_t b2) {
    if (mode_ == Mode::kText) return;
    const int group = b1 & 0x07;
    const int row = kPreambleRows[group] + (group != 0 && (b2 & 0x20) ? 1 : 0) - 1;
    if (mode_ == Mode::kRollUp && row != row_) {
        // The roll-up window moves to its new base row with its text.
        const int top = row - rollRows_ + 1 < 0 ? 0 : row - rollRows_ + 1;
        Memory moved = {};
        for (int r = top; r <= row; ++r) {
            const int from = row_ - (row - r);
            if (from >= 0) std::memcpy(moved[r], (*shown_)[from], sizeof moved[r]);
        }
        std::memcpy(*shown_, moved, sizeof moved);
        boundary_ = true;
    }
    row_ = row;
    const int attribute = (b2 >> 1) & 0x0F;  // colours 0-6, italics 7, indents 8-15
    column_ = attribute >= 8 ? (attribute - 8) * 4 : 0;
}

void Decoder::Put(uint32_t codePoint) {
    if (mode_ == Mode::kNone || mode_ == Mode::kText) return;
    Writing()[row_][column_] = codePoint;
    if (column_ < kColumns - 1) ++column_;
}

void Decoder::Backspace() {
    if (column_ == 0 || mode_ == Mode::kNone || mode_ == Mode::kText) return;
    // At the last column the cursor stays on the character written there.
    if (!(column_ == kColumns - 1 && Writing()[row_][column_])) --column_;
    Writing()[row_][column_] = 0;
}

void Decoder::RollUp(int rows) {
    if (mode_ != Mode::kRollUp) {
        // Into roll-up from another mode: the screen starts empty, the
        // base row at the bottom.
        Clear(*shown_);
        Clear(*hidden_);
        row_ = kRows - 1;
        column_ = 0;
        boundary_ = true;
    }
    mode_ = Mode::kRollUp;
    rollRows_ = rows;
    if (row_ < rows - 1) row_ = rows - 1;
    for (int r = 0; r <= row_ - rows; ++r) std::memset((*shown_)[r], 0, sizeof (*shown_)[r]);
}

void Decoder::CarriageReturn() {
    const int top = row_ - rollRows_ + 1 < 0 ? 0 : row_ - rollRows_ + 1;
    for (int r = top; r < row_; ++r) std::memcpy((*shown_)[r], (*shown_)[r + 1], sizeof (*shown_)[r]);
    std::memset((*shown_)[row_], 0, sizeof (*shown_)[row_]);
    if (top > 0) std::memset((*shown_)[top - 1], 0, sizeof (*shown_)[top - 1]);
    column_ = 0;
    boundary_ = true;
}

std::string Decoder::ShownText() const {
    std::string text;
    for (int r = 0; r < kRows; ++r) {
        int first = 0, last = kColumns - 1;
        auto blank = [&](int c) { return (*shown_)[r][c] == 0 || (*shown_)[r][c] == 0x20; };
        while (first < kColumns && blank(first)) ++first;
        if (first == kColumns) continue;
        while (blank(last)) --last;
        if (!text.empty()) text += '\n';
        for (int c = first; c <= last; ++c) AppendUtf8(&text, (*shown_)[r][c] ? (*shown_)[r][c] : 0x20);
    }
    return text;
}

// A cue ends when the caption shown is removed or replaced (EOC, EDM, a
// roll); characters painted or rolled in extend the cue on the screen.
void Decoder::Update(uint64_t frame) {
    const bool boundary = boundary_;
    boundary_ = false;
    if (!boundary && !open_ && mode_ == Mode::kPopOn) return;
    const std::string text = ShownText();
    if (open_ && text == cue_.text && !boundary) return;
    if (open_ && !boundary && !text.empty()) {
        cue_.text = text;
        return;
    }
    if (open_ && text == cue_.text) return;  // replaced by the same caption: still shown
    if (open_) {
        cue_.end = frame;
        if (cue_.end > cue_.start) cues_.push_back(cue_);
        open_ = false;
    }
    if (!text.empty()) {
        cue_ = Cue{frame, frame, text};
        open_ = true;
    }
}

void Decoder::Finish(uint64_t endFrame) {
    if (!open_) return;
    cue_.end = endFrame > cue_.start ? endFrame : cue_.start + 1;
    cues_.push_back(cue_);
    open_ = false;
}

}  // namespace hvdv_cc

// A CEA-608 (line 21) caption decoder: the byte pairs of one field, frame
// after frame, in; the captions of one channel (CC1-CC4) out as cues with
// the frames where each is shown and removed, in UTF-8.
//
// Pop-on (RCL ... EOC), roll-up (RU2, RU3, RU4 with CR) and paint-on (RDC)
// captions; preamble address codes, mid-row codes and tab offsets; the
// standard, special and extended character sets; BS, DER, EDM, ENM.  A
// control code repeated in the next pair is ignored once.  Parity: a
// control code with a bad byte is dropped; a character with bad parity is
// shown as the solid block (0x7F).  Text mode and, on field 2, extended
// data service packets are skipped.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace hvdv_cc {

// One caption: rows top to bottom, one a line ('\n' between), each trimmed.
struct Cue {
    uint64_t start = 0;  // first frame it is shown
    uint64_t end = 0;    // first frame it is no longer shown
    std::string text;
};

// True when the byte has odd parity.
bool OddParity(uint8_t byte);

class Decoder {
public:
    static constexpr int kRows = 15, kColumns = 32;

    // channel 1-4: CC1 and CC2 are field 1's, CC3 and CC4 field 2's (the
    // caller hands over the pairs of that field).
    explicit Decoder(int channel);

    // The pair of `frame` (frames in increasing order), parity bits
    // included; 0x80 0x80 is a pair without data.
    void Push(uint64_t frame, uint8_t byte1, uint8_t byte2);
    // Ends the caption shown at the end of the input.
    void Finish(uint64_t endFrame);

    const std::vector<Cue>& Cues() const { return cues_; }
    // Pairs with a parity error seen so far.
    uint64_t ParityErrors() const { return parityErrors_; }

private:
    enum class Mode { kNone, kPopOn, kRollUp, kPaintOn, kText };
    using Memory = uint32_t[kRows][kColumns];  // Unicode code points; 0 empty

    void Control(uint8_t b1, uint8_t b2);
    void Misc(uint8_t code);
    void Preamble(uint8_t b1, uint8_t b2);
    void Put(uint32_t codePoint);
    void Backspace();
    void RollUp(int rows);
    void CarriageReturn();
    void Clear(Memory& m);
    Memory& Writing() { return mode_ == Mode::kPopOn ? *hidden_ : *shown_; }
    std::string ShownText() const;
    void Update(uint64_t frame);

    int field_, channel_;          // field 0 or 1, data channel 0 or 1
    int current_ = -1;             // data channel of the last control code
    bool xds_ = false;             // inside an extended data service packet
    Mode mode_ = Mode::kNone;
    int rollRows_ = 0;
    int row_ = kRows - 1, column_ = 0;
    Memory memories_[2] = {};
    Memory* shown_ = &memories_[0];
    Memory* hidden_ = &memories_[1];
    bool haveLast_ = false;
    uint8_t last_[2] = {};         // the last control code executed
    bool boundary_ = false;        // the caption shown was replaced, not edited
    bool open_ = false;
    Cue cue_;
    std::vector<Cue> cues_;
    uint64_t parityErrors_ = 0;
};

}  // namespace hvdv_cc

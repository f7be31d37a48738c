// Timecode and recording-date arithmetic shared by the scan's recording rule
// and the merge's alignment.  Header only: no library to link.
#pragma once
#include <cstdint>

namespace hvdv_scan {

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar
// (the era arithmetic counts March as the first month, so that the leap day
// ends a year).
inline int64_t DaysFromCivil(int64_t y, uint32_t m, uint32_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Pictures a second as the timecode counts them: 30 for 30000/1001 (the
// timecode counts every picture; drop-frame only skips labels).
inline uint32_t PictureRate(uint32_t rateNum, uint32_t rateDen) { return (rateNum + rateDen / 2) / rateDen; }

// Timecode frames counted per second: 30 (525/60) or 25 (625/50); 720p
// pictures come twice as often as the timecode counts.
inline uint32_t TimecodeRate(uint32_t rateNum, uint32_t rateDen) {
    const uint32_t rate = PictureRate(rateNum, rateDen);
    return rate > 30 ? rate / 2 : rate;
}

// A timecode as frames since midnight.  Drop-frame timecode (30 frames a
// second) skips the frame numbers 0 and 1 at every minute except each tenth.
inline int64_t TimecodeFrames(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t frames, bool drop,
                              uint32_t tcRate) {
    const int64_t m = int64_t(hours) * 60 + minutes;
    int64_t n = (m * 60 + seconds) * tcRate + frames;
    if (drop) n -= 2 * (m - m / 10);
    return n;
}

// Timecode frames of a whole day.
inline int64_t TimecodeDay(uint32_t tcRate, bool drop) {
    return int64_t(24) * 3600 * tcRate - (drop ? 2 * (1440 - 144) : 0);
}

}  // namespace hvdv_scan

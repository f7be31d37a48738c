/* A host of hv_dec_dv.dll as Windows programs use it: plain C, linked with
 * the DLL's import library, loading the DLL at start.  It calls every
 * function of hv_dec_dv.h on the first frame of a 625/50 stream, checks what
 * the stream is known to be, and writes two decoded pictures laid out as
 * golden_test.cpp lays them out (guard bytes, padded rows), for
 * dll_host.cmake to compare with data/golden.md5:
 *   <out>.inst: UYVY 720x576 through an instance, flags 0
 *   <out>.call: YUY2 720x576 without an instance, fields exchanged
 *   hvdv_dll_host FRAMES.dv OUT */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "hv_dec_dv.h"

#define GUARD 64
#define PADDING 20
#define WIDTH 720
#define HEIGHT 576
#define FRAME_BYTES 144000
#define STRIDE (WIDTH * 2 + PADDING)
#define BUFFER_BYTES (2 * GUARD + STRIDE * HEIGHT)

static int failures;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "hvdv_dll_host: %s\n", what);
        ++failures;
    }
}

static int write_file(const char* path, const uint8_t* bytes, size_t n) {
    FILE* f = fopen(path, "wb");
    int ok = f && fwrite(bytes, 1, n, f) == n;
    if (f && fclose(f) != 0) ok = 0;
    if (!ok) remove(path);
    return ok;
}

int main(int argc, char** argv) {
    static uint8_t frame[FRAME_BYTES], picture[BUFFER_BYTES];
    char path[4096], name[32];
    DVStreamInfo info;
    DVAudioInfo audio;
    DVStreamInfoEx ex;
    DVAudioInfoEx audioEx;
    DVDecInstance* dec;
    DVDecQueryFn query;
    int32_t audioValid = 0, result;
    FILE* in;

    if (argc != 3 || strlen(argv[2]) + 6 > sizeof path) {
        fprintf(stderr, "usage: hvdv_dll_host FRAMES.dv OUT\n");
        return 2;
    }
    in = fopen(argv[1], "rb");
    if (!in || fread(frame, 1, sizeof frame, in) != sizeof frame) {
        fprintf(stderr, "hvdv_dll_host: cannot read a frame of %s\n", argv[1]);
        return 1;
    }
    fclose(in);

    InitDVDec();
    query = DVDecGetAPIExt(HVDV_API_EXT_QUERY);
    check(query != NULL, "DVDecGetAPIExt gave no query");
    check(DVDecGetAPIExt(HVDV_API_EXT_QUERY + 1) == NULL, "DVDecGetAPIExt answered an unknown id");
    if (query) {
        memset(name, 0, sizeof name);
        check(query(4, name) == HVDV_INFO_OK && strcmp(name, HVDV_VERSION_STRING) == 0,
              "the query's version is not the header's");
    }

    check(DVGetInfo(frame, FRAME_BYTES, &info, &audio, &audioValid) == HVDV_INFO_OK, "DVGetInfo failed");
    check(info.width == WIDTH && info.height == HEIGHT && info.rateNumerator == 25 && info.rateDenominator == 1 &&
              info.frameBytes == FRAME_BYTES,
          "DVGetInfo: not 720 x 576 at 25 frames/s in 144000 bytes");
    check(audioValid == 1 && audio.sampleRate == 48000 && audio.channels == 2, "DVGetInfo: not 48 kHz stereo");
    memset(&ex, 0, sizeof ex);
    memset(&audioEx, 0, sizeof audioEx);
    ex.size = sizeof ex;
    audioEx.size = sizeof audioEx;
    check(DVGetInfoEx(frame, FRAME_BYTES, &ex, &audioEx, NULL) == HVDV_INFO_OK && ex.width == info.width &&
              ex.height == info.height && ex.frameBytes == info.frameBytes && audioEx.sampleRate == 48000,
          "DVGetInfoEx disagrees with DVGetInfo");
    check(DVGetInfo(frame, 80, &info, &audio, &audioValid) == HVDV_INFO_FAILED, "DVGetInfo took one block");

    dec = DVNewDec();
    check(dec != NULL, "DVNewDec failed");
    memset(picture, 0xC3, sizeof picture);
    result = DVDecompressBuffer(dec, frame, FRAME_BYTES, picture + GUARD, STRIDE, WIDTH, HEIGHT, 0, HVDV_FOURCC_UYVY,
                                0, 0);
    check(result == HVDV_DECODE_OK, "DVDecompressBuffer did not decode the frame whole");
    DVDoneDec(dec);
    sprintf(path, "%s.inst", argv[2]);
    check(write_file(path, picture, sizeof picture), "cannot write the instance's picture");

    memset(picture, 0xC3, sizeof picture);
    result = DecompressBuffer_DV(frame, FRAME_BYTES, picture + GUARD, STRIDE, WIDTH, HEIGHT, HVDV_FLAG_SWAP_FIELDS,
                                 HVDV_FOURCC_YUY2, 0, 0);
    check(result == HVDV_DECODE_OK, "DecompressBuffer_DV did not decode the frame whole");
    sprintf(path, "%s.call", argv[2]);
    check(write_file(path, picture, sizeof picture), "cannot write the picture without an instance");
    return failures ? 1 : 0;
}

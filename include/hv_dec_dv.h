/*
 * hv_dec_dv - DV video decoding library, C interface.
 *
 * The library decodes one compressed DV frame (a buffer of 80-byte DIF
 * blocks, IEC 61834 / SMPTE 314M) into a picture in the pixel format and at
 * the size the caller asks for, and reports stream information read from the
 * frame's auxiliary data without decoding it.
 *
 * Every argument and result is 32 bits wide (or a pointer).  Nothing is
 * logged, nothing is kept between calls except inside a decoder instance, and
 * the library never keeps a pointer to a caller's buffer after a call.
 *
 * This header compiles on its own as C (C89 or later with <stdint.h>) and as
 * C++.
 */
#ifndef HV_DEC_DV_H
#define HV_DEC_DV_H

#include <stdint.h>

/*
 * HVDV_CALL is the calling convention of every exported function: the C
 * default (cdecl) everywhere.  On 32-bit Windows cdecl keeps the exported
 * names undecorated ("InitDVDec", not "_InitDVDec@0").
 * HVDV_API marks the exported functions.
 */
#if defined(_WIN32)
#  define HVDV_CALL __cdecl
#  if defined(HV_DEC_DV_BUILD)
#    define HVDV_API __declspec(dllexport)
#  elif defined(HV_DEC_DV_STATIC)
#    define HVDV_API
#  else
#    define HVDV_API __declspec(dllimport)
#  endif
#else
#  define HVDV_CALL
#  if defined(HV_DEC_DV_BUILD) && defined(__GNUC__)
#    define HVDV_API __attribute__((visibility("default")))
#  else
#    define HVDV_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Library identity, as reported by the information query. */
#define HVDV_VERSION_STRING "10.5.18.0000"

/* Output pixel formats: FOURCC values, first character in the lowest byte. */
#define HVDV_FOURCC(a, b, c, d) \
    ((uint32_t)(uint8_t)(a) | ((uint32_t)(uint8_t)(b) << 8) | \
     ((uint32_t)(uint8_t)(c) << 16) | ((uint32_t)(uint8_t)(d) << 24))

#define HVDV_FOURCC_YUY2 0x32595559u /* "YUY2": Y0 U Y1 V, 2 bytes/pixel      */
#define HVDV_FOURCC_YUYV 0x56595559u /* "YUYV": same as YUY2                  */
#define HVDV_FOURCC_YuYv 0x76597559u /* "YuYv": same output as YUY2           */
#define HVDV_FOURCC_UYVY 0x59565955u /* "UYVY": U Y0 V Y1, 2 bytes/pixel      */
#define HVDV_FOURCC_UyVy 0x79567955u /* "UyVy": same output as UYVY           */
#define HVDV_FOURCC_VUYA 0x41595556u /* "VUYA": V U Y 255, 4 bytes/pixel      */
#define HVDV_FOURCC_BGR3 0x33524742u /* "BGR3": B G R, full range             */
#define HVDV_FOURCC_R24C 0x43343252u /* "R24C": B G R, studio range           */
#define HVDV_FOURCC_BGR4 0x34524742u /* "BGR4": B G R 255, full range         */
#define HVDV_FOURCC_BGRA 0x41524742u /* "BGRA": same as BGR4                  */
#define HVDV_FOURCC_R32C 0x43323352u /* "R32C": B G R 255, studio range       */
#define HVDV_FOURCC_R565 0x35363552u /* "R565": 16-bit RGB 5-6-5, little end. */
#define HVDV_FOURCC_R555 0x35353552u /* "R555": 16-bit RGB 5-5-5, bit 15 = 0  */

/* Decode flags (the flags argument of the decode calls); other bits ignored. */
#define HVDV_FLAG_SWAP_FIELDS   0x00001u /* full size: exchange the lines of the two fields in every 8x8 block */
#define HVDV_FLAG_SINGLE_PASS   0x00002u /* full size: no redistribution of spare bits between blocks */
#define HVDV_FLAG_IGNORE_WIDE   0x00004u /* ignore the frame's wide-screen indication */
#define HVDV_FLAG_SINGLE_THREAD 0x10000u /* decode on the calling thread only */

/* Results of the decode calls. */
#define HVDV_DECODE_FAILED  0 /* nothing usable decoded (bad format, no memory, every macroblock damaged) */
#define HVDV_DECODE_OK      1 /* decoded, no macroblock marked damaged */
#define HVDV_DECODE_DAMAGED 2 /* decoded, some macroblocks marked damaged */

/* Results of DVGetInfo, DVGetInfoEx and the information query. */
#define HVDV_INFO_OK     0
#define HVDV_INFO_FAILED 1

/* Stream information filled by DVGetInfo (every field cleared first). */
typedef struct DVStreamInfo {
    int32_t width;           /* 720, 1920 or 1280 */
    int32_t height;          /* 480, 576, 1080 or 720 */
    int32_t aspectX;         /* display aspect: 16:9 for wide screen, else 4:3 */
    int32_t aspectY;
    int32_t rateCode;        /* frame rate in binary-coded decimal (0x30, 0x25, 0x60, 0x50, 0x24) */
    int32_t rateNumerator;   /* frame rate = rateNumerator / rateDenominator */
    int32_t rateDenominator; /* 1 or 1001 */
    int32_t rateMode;        /* rate conversion: 0 none, 1 or 2 for 24-frame material, 3 (720-line) */
    int32_t ratePhase;       /* phase of the rate conversion */
    int32_t rateFlag;        /* rate flag of the frame-rate pack */
    int32_t scanCode;        /* 2 standard definition, 3 1080-line, 1 720-line or progressive */
    int32_t frameBytes;      /* size of one whole frame in bytes */
    int32_t reserved[5];     /* always 0 */
    int32_t formatCode;      /* 1 25 Mb/s, 2 25 Mb/s SMPTE 314M, 3 50 Mb/s, 4 720-line, 5 1080-line */
} DVStreamInfo;

/* Audio information, optional record of DVGetInfo (every field cleared first). */
typedef struct DVAudioInfo {
    int32_t formatTag;       /* 4 when filled */
    int32_t reserved1[3];
    int32_t sampleRate;      /* 48000, 44100 or 32000 */
    int32_t bitsPerSample;   /* 16 */
    int32_t channels;        /* 0 or 2 */
    int32_t reserved2[2];
    int32_t bytesPerFrame;   /* channels x 16 / 8 */
} DVAudioInfo;

/* Stream information filled by DVGetInfoEx.  The caller sets size to the
 * record's size in bytes; field i (at byte 4 i) is written only when size is
 * at least 4 i + 4, so older and newer callers can pass shorter or longer
 * records.  size itself is never written. */
typedef struct DVStreamInfoEx {
    int32_t size;                /* set by the caller */
    int32_t width;
    int32_t height;
    int32_t aspectX;
    int32_t aspectY;
    int32_t rateCode;
    int32_t rateNumerator;       /* rate = rateNumerator / rateDenominator */
    int32_t systemRateCode;      /* the television system's own rate, before the frame-rate pack */
    int32_t systemRateNumerator; /* 30000, 25, 60000 or 50 */
    int32_t wholeRate;           /* 1: integer rate (denominator 1), 0: x/1001 */
    int32_t rateDenominator;     /* 1 or 1001 */
    int32_t rateMode;
    int32_t ratePhase;           /* 15 when none */
    int32_t rateFlag;
    int32_t scanCode;
    int32_t frameBytes;
    int32_t reserved;
    int32_t formatCode;
} DVStreamInfoEx;

/* Audio information, optional record of DVGetInfoEx.  The caller sets size;
 * the call clears the record (keeping size) and writes field i only when
 * size is at least 4 i + 4. */
typedef struct DVAudioInfoEx {
    int32_t size;            /* set by the caller */
    int32_t formatTag;       /* 4 */
    int32_t channels;        /* audio channels found (2 per DIF channel with audio) */
    int32_t sampleRate;      /* Hz */
    int32_t bitsPerSample;   /* 16 */
    int32_t bytesPerFrame;   /* bitsPerSample x channels / 8 */
    int32_t maxChannels;     /* 2 x the format's DIF channel count */
    int32_t channelFound[4]; /* 1 for each DIF channel whose audio was found */
} DVAudioInfoEx;

/* A decoder instance: serialises its callers and keeps its worker threads
 * alive between frames. */
typedef struct DVDecInstance DVDecInstance;

/* Builds the process-wide decoding tables (once; later calls return at once).
 * Every decode call does this itself; a host may call it at start-up to keep
 * the work out of its first frame.  Safe from any number of threads. */
HVDV_API void HVDV_CALL InitDVDec(void);

/* Creates a decoder instance; null when out of memory.  Starts no thread.
 * The instance keeps the work memory of pictures that need it (full-size
 * 4:1:1, high definition resampled to another width: up to about 3.5 MB)
 * from one frame to the next, until DVDoneDec. */
HVDV_API DVDecInstance* HVDV_CALL DVNewDec(void);

/* Ends the instance's worker threads and frees it.  Null is ignored.  Must not
 * be called while a decode on the instance is running. */
HVDV_API void HVDV_CALL DVDoneDec(DVDecInstance* instance);

/* Decodes one DV frame into picture.
 *   frame, frameSize: the compressed frame (DIF sequences of 150, or 149
 *       without header blocks, 80-byte DIF blocks) and its size in bytes;
 *   picture, pitch: first byte of the output's top row and the signed byte
 *       distance between rows;
 *   width, height: picture size; 720 wide is full size, 360 wide half size;
 *       heights 240, 480 and 486 select the 525/60 system;
 *   flags: HVDV_FLAG_*; fourcc: HVDV_FOURCC_*; reserved1, reserved2: unused.
 * Returns HVDV_DECODE_FAILED, HVDV_DECODE_OK or HVDV_DECODE_DAMAGED.
 * Calls on one instance are serialised. */
HVDV_API int32_t HVDV_CALL DVDecompressBuffer(DVDecInstance* instance,
                                              const uint8_t* frame, uint32_t frameSize,
                                              uint8_t* picture, int32_t pitch,
                                              uint32_t width, uint32_t height,
                                              uint32_t flags, uint32_t fourcc,
                                              int32_t reserved1, int32_t reserved2);

/* The same decode without an instance: starts and ends its own workers.
 * Any number of threads may call it at once. */
HVDV_API int32_t HVDV_CALL DecompressBuffer_DV(const uint8_t* frame, uint32_t frameSize,
                                               uint8_t* picture, int32_t pitch,
                                               uint32_t width, uint32_t height,
                                               uint32_t flags, uint32_t fourcc,
                                               int32_t reserved1, int32_t reserved2);

/* Reads stream information from one frame that begins with its header DIF
 * block.  info and audioValid are required, audio may be null.  *audioValid
 * receives 1 when the frame carries usable audio.  Returns HVDV_INFO_OK or
 * HVDV_INFO_FAILED when the frame cannot be described. */
HVDV_API int32_t HVDV_CALL DVGetInfo(const uint8_t* frame, int32_t frameSize,
                                     DVStreamInfo* info, DVAudioInfo* audio,
                                     int32_t* audioValid);

/* As DVGetInfo with the size-prefixed records; audio and audioValid may be
 * null. */
HVDV_API int32_t HVDV_CALL DVGetInfoEx(const uint8_t* frame, int32_t frameSize,
                                       DVStreamInfoEx* info, DVAudioInfoEx* audio,
                                       int32_t* audioValid);

/* The information query: selector 1 product name (22 characters), 2 and 3
 * the integer 1, 4 version (12 characters), 5 platform string (15
 * characters).  Texts are written without a terminating zero.  Returns 0, or
 * 1 for an unknown selector or a null out. */
typedef int32_t (HVDV_CALL* DVDecQueryFn)(int32_t selector, void* out);

#define HVDV_API_EXT_QUERY 1

/* Returns the information query for id HVDV_API_EXT_QUERY, else null. */
HVDV_API DVDecQueryFn HVDV_CALL DVDecGetAPIExt(int32_t id);

#ifdef __cplusplus
}
#endif

#endif /* HV_DEC_DV_H */

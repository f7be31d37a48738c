/*
 * hvdv - DV decoding for archives and transcoders, C interface.
 *
 * One call per DV frame (a buffer of 80-byte DIF blocks, IEC 61834 /
 * SMPTE 314M / SMPTE 370M):
 *   - hvdv_probe_frame     what the frame is, from every source it offers,
 *                          so that a damaged frame is still identified;
 *   - hvdv_decode_video    the picture in its coded chroma sampling (three
 *                          planes, no resampling) or a packed format, with
 *                          a map of the damaged macroblocks;
 *   - hvdv_decode_audio    every audio channel as signed 16-bit PCM;
 *   - hvdv_read_metadata   timecode, recording date and time, flags, packs;
 *   - hvdv_read_captions   the closed-caption bytes of both fields;
 *   - hvdv_block_status    every DIF block: where it belongs, whether it
 *                          was read in error.
 *
 * Records passed in or out begin with `size`, which the caller sets to
 * sizeof the record it was compiled with; the library fills only what fits,
 * so records may grow at the end in later versions.
 *
 * Threads: a decoder may be used by one thread at a time (calls on one
 * decoder are serialised by the caller); different decoders may be used at
 * once from different threads.  Functions without a decoder argument are
 * safe from any thread.  A decoder allocates when it is created and starts
 * its threads on its first frame; after that, decoding into planes, audio
 * and metadata allocate nothing.  Packed formats allocate their converter
 * (and, for some kinds, a work picture) for every frame.
 *
 * Nothing outside the buffers the caller passes is read or written, however
 * the frame is damaged.  This header compiles as C99 and as C++.
 */
#ifndef HVDV_H
#define HVDV_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(HVDV_BUILDING)
#    define HVDV_EXPORT __declspec(dllexport)
#  elif defined(HVDV_STATIC)
#    define HVDV_EXPORT
#  else
#    define HVDV_EXPORT __declspec(dllimport)
#  endif
#elif defined(HVDV_BUILDING) && defined(__GNUC__)
#  define HVDV_EXPORT __attribute__((visibility("default")))
#else
#  define HVDV_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define HVDV_VERSION_MAJOR 1
#define HVDV_VERSION_MINOR 1
#define HVDV_VERSION_PATCH 0
/* (major << 16) | (minor << 8) | patch */
#define HVDV_VERSION ((HVDV_VERSION_MAJOR << 16) | (HVDV_VERSION_MINOR << 8) | HVDV_VERSION_PATCH)

/* Results: 0 success, negative values errors. */
typedef enum hvdv_result {
    HVDV_OK = 0,
    HVDV_ERROR_ARGUMENT = -1,      /* null pointer, bad size field, unknown flag or format */
    HVDV_ERROR_TRUNCATED = -2,     /* the buffer is shorter than one DIF sequence */
    HVDV_ERROR_NOT_DV = -3,        /* nothing in the frame identifies a DV kind */
    HVDV_ERROR_AMBIGUOUS = -4,     /* the frame's sources contradict each other */
    HVDV_ERROR_UNSUPPORTED = -5,   /* a kind, mode or output this library does not produce */
    HVDV_ERROR_BUFFER_SMALL = -6,  /* an output buffer or plane is too small */
    HVDV_ERROR_NO_MEMORY = -7,
    HVDV_ERROR_NO_AUDIO = -8,      /* the frame carries no audio source pack */
    HVDV_ERROR_UNDECODABLE = -9,   /* no macroblock of the frame could be decoded */
    HVDV_ERROR_CPU = -10           /* the processor lacks an instruction set the build needs */
} hvdv_result;

/* A short English description of a result ("unknown result" for others).
 * The string is static. */
HVDV_EXPORT const char* hvdv_strerror(int result);

/* HVDV_VERSION of the library actually loaded, and its version string. */
HVDV_EXPORT uint32_t hvdv_version(void);
HVDV_EXPORT const char* hvdv_version_string(void);

/* ---- Frame identification ------------------------------------------- */

typedef enum hvdv_kind {
    HVDV_KIND_UNKNOWN = 0,
    HVDV_KIND_DV25_525_411 = 1,   /* DV / DVCAM / DVCPRO 525/60 */
    HVDV_KIND_DV25_625_420 = 2,   /* DV / DVCAM 625/50 */
    HVDV_KIND_DV25_625_411 = 3,   /* DVCPRO 625/50 */
    HVDV_KIND_DV50_525 = 4,       /* DVCPRO50 525/60 4:2:2 */
    HVDV_KIND_DV50_625 = 5,       /* DVCPRO50 625/50 4:2:2 */
    HVDV_KIND_HD_1080I60 = 6,     /* DVCPRO HD 1080i, 60 fields (1280 coded) */
    HVDV_KIND_HD_1080I50 = 7,     /* DVCPRO HD 1080i, 50 fields (1440 coded) */
    HVDV_KIND_HD_720P60 = 8,      /* DVCPRO HD 720p, 60 frames (960 coded) */
    HVDV_KIND_HD_720P50 = 9       /* DVCPRO HD 720p, 50 frames (960 coded) */
} hvdv_kind;

typedef enum hvdv_chroma {
    HVDV_CHROMA_411 = 1,   /* chroma planes 1/4 wide, full height */
    HVDV_CHROMA_420 = 2,   /* 625/50 DV: chroma planes half wide, half high */
    HVDV_CHROMA_422 = 3    /* chroma planes half wide, full height */
} hvdv_chroma;

/* What hvdv_probe_frame consulted and found (bits of hvdv_frame_info.sources). */
enum {
    HVDV_SOURCE_HEADER = 1 << 0,      /* a header DIF block: DSF, APT */
    HVDV_SOURCE_VAUX = 1 << 1,        /* VAUX source packs (majority of the copies) */
    HVDV_SOURCE_BLOCK_IDS = 1 << 2,   /* DIF block IDs: sequence numbers, channels */
    HVDV_SOURCE_SIZE = 1 << 3         /* the buffer's size */
};

typedef struct hvdv_frame_info {
    uint32_t size;              /* sizeof(hvdv_frame_info), set by the caller */
    hvdv_kind kind;
    uint32_t lines;             /* 525 or 625 */
    uint32_t frame_bytes;       /* bytes of one whole frame of this kind */
    uint32_t header_blocks;     /* 1: sequences begin with a header block */
    hvdv_chroma chroma;
    uint32_t coded_width, coded_height;  /* luma plane at full size */
    uint32_t display_width;     /* width the picture is shown at */
    uint32_t chroma_width, chroma_height;  /* each chroma plane at full size */
    uint32_t rate_num, rate_den;           /* pictures per second */
    uint32_t interlaced;        /* 1: two fields a picture */
    uint32_t wide;              /* 1: 16:9 (the VAUX packs say so); 0: 4:3 or unsaid */
    uint32_t sources;           /* HVDV_SOURCE_* that agree with the result */
    uint32_t conflicts;         /* HVDV_SOURCE_* that were read and disagree */
    uint32_t vaux_copies;       /* VAUX source packs read */
    uint32_t vaux_agreeing;     /* of those, agreeing with the result */
} hvdv_frame_info;

/* Identifies the frame.  info->size must be set. */
HVDV_EXPORT int hvdv_probe_frame(const uint8_t* frame, size_t frame_size, hvdv_frame_info* info);

/* ---- Decoder ---------------------------------------------------------- */

typedef struct hvdv_decoder hvdv_decoder;

typedef struct hvdv_decoder_config {
    uint32_t size;      /* sizeof(hvdv_decoder_config) */
    uint32_t threads;   /* decoding threads for one frame: 0 every processor (at most 16) */
    uint32_t cpu_mask;  /* 0: every instruction set; 1: plain C++ kernels only */
} hvdv_decoder_config;

/* config may be null (defaults).  *decoder is null on failure.  A decoder
 * keeps the work memory of packed pictures that need it (full-size 4:1:1,
 * high definition resampled to another width: up to about 3.5 MB) from one
 * frame to the next, until it is destroyed. */
HVDV_EXPORT int hvdv_decoder_create(const hvdv_decoder_config* config, hvdv_decoder** decoder);
HVDV_EXPORT void hvdv_decoder_destroy(hvdv_decoder* decoder);

/* ---- Video ------------------------------------------------------------ */

/* Output formats: HVDV_FORMAT_PLANAR (the coded chroma sampling, planes
 * Y, Cb, Cr) or one of the packed FOURCCs of hv_dec_dv ("UYVY", "YUY2",
 * "BGRA", ...) as a little-endian 32-bit value. */
#define HVDV_FORMAT_PLANAR 0u

typedef struct hvdv_picture {
    uint32_t size;          /* sizeof(hvdv_picture) */
    uint32_t format;        /* HVDV_FORMAT_PLANAR or a packed FOURCC */
    uint8_t* data[3];       /* planar: Y, Cb, Cr; packed: data[0] */
    int32_t pitch[3];       /* bytes from one row to the next (packed: may be negative) */
    uint32_t width, height; /* packed: the picture asked for (as hv_dec_dv);
                               planar: ignored, planes are coded size or half */
} hvdv_picture;

/* Decode flags. */
enum {
    HVDV_DECODE_HALF = 1 << 0,          /* planar only: every plane half wide and half high
                                           (packed: the picture size chooses, as in hv_dec_dv) */
    HVDV_DECODE_KEEP_DAMAGED = 1 << 1,  /* planar only: damaged macroblocks are not written */
    HVDV_DECODE_IGNORE_WIDE = 1 << 2,   /* packed: no 16:9 squeeze */
    HVDV_DECODE_SWAP_FIELDS = 1 << 3    /* exchange the two fields' lines */
};

/* The state of one macroblock (hvdv_damage.macroblocks). */
enum {
    HVDV_MB_ERROR = 1 << 0,      /* its STA says the data is in error */
    HVDV_MB_MISSING = 1 << 1,    /* its DIF block lies outside the buffer */
    HVDV_MB_BAD_ID = 1 << 2,     /* its DIF block ID names no place, or a place taken */
    HVDV_MB_FILLED = 1 << 3,     /* the decoder drew it flat grey */
    HVDV_MB_UNTOUCHED = 1 << 4   /* left as it was (HVDV_DECODE_KEEP_DAMAGED) */
};

typedef struct hvdv_macroblock {
    uint16_t x, y;      /* top-left luma sample (full size); 0xFFFF when not known */
    uint8_t sta;        /* STA of the macroblock's data (0 no error) */
    uint8_t flags;      /* HVDV_MB_* */
    uint8_t sequence;   /* DIF sequence slot in the buffer (channel after channel) */
    uint8_t reserved;
} hvdv_macroblock;

#define HVDV_MAX_SEQUENCES 48

typedef struct hvdv_damage {
    uint32_t size;                 /* sizeof(hvdv_damage) */
    uint32_t macroblock_count;     /* entries of macroblocks: video blocks in buffer order */
    const hvdv_macroblock* macroblocks;  /* owned by the decoder, valid until its next decode */
    uint32_t damaged;              /* macroblocks with ERROR, MISSING or BAD_ID */
    uint32_t filled;               /* drawn flat by the decoder */
    uint32_t untouched;            /* left as they were */
    uint32_t sta_counts[16];       /* video blocks of the buffer per STA value */
    uint32_t sequence_count;       /* entries of sequence_damaged */
    uint32_t sequence_damaged[HVDV_MAX_SEQUENCES];  /* damaged macroblocks per DIF sequence slot */
} hvdv_damage;

/* Decodes the picture.  info (may be null) receives what the frame was
 * decoded as; damage (may be null) the macroblock map.  Planar output needs
 * planes of info's coded size (half with HVDV_DECODE_HALF); the result is
 * HVDV_OK also when macroblocks were damaged (see damage), and
 * HVDV_ERROR_UNDECODABLE when none could be decoded. */
HVDV_EXPORT int hvdv_decode_video(hvdv_decoder* decoder, const uint8_t* frame, size_t frame_size,
                                  const hvdv_picture* picture, uint32_t flags,
                                  hvdv_frame_info* info, hvdv_damage* damage);

/* ---- Audio ------------------------------------------------------------ */

#define HVDV_MAX_AUDIO_CHANNELS 8
/* Upper bound of the samples of one channel in one frame. */
#define HVDV_MAX_AUDIO_SAMPLES 1944
#define HVDV_AUDIO_ERROR_POSITIONS 16

enum {
    HVDV_AUDIO_HOLD_ERRORS = 1 << 0   /* error samples repeat the channel's previous good sample */
};

typedef struct hvdv_audio_info {
    uint32_t size;              /* sizeof(hvdv_audio_info) */
    uint32_t sample_rate;       /* 48000, 44100, 32000 */
    uint32_t bits;              /* 16 (linear) or 12 (non-linear), as stored */
    uint32_t channels;          /* interleaved channels written */
    uint32_t samples;           /* samples of each channel in this frame */
    uint32_t locked;            /* 1: locked to the video */
    uint32_t emphasis;          /* 1: 50/15 us emphasis */
    uint32_t mode_changed;      /* 1: rate, bits or channels differ from the decoder's last frame */
    uint32_t error_samples;     /* samples that carried the error code */
    uint32_t error_positions[HVDV_AUDIO_ERROR_POSITIONS];  /* their indices in pcm, the first ones */
    uint32_t missing_blocks;    /* audio DIF blocks outside the buffer or not marked as audio */
} hvdv_audio_info;

/* Decodes the frame's audio into pcm (capacity int16 values): samples x
 * channels values, channel 0 first.  decoder may be null (then
 * mode_changed is 0); with a decoder, it remembers the audio mode. */
HVDV_EXPORT int hvdv_decode_audio(hvdv_decoder* decoder, const uint8_t* frame, size_t frame_size,
                                  int16_t* pcm, size_t capacity, uint32_t flags, hvdv_audio_info* info);

/* ---- Metadata --------------------------------------------------------- */

/* Bits of hvdv_metadata.present: which values the frame carries. */
enum {
    HVDV_META_TIMECODE = 1 << 0,
    HVDV_META_REC_DATE = 1 << 1,
    HVDV_META_REC_TIME = 1 << 2,
    HVDV_META_REC_START = 1 << 3,
    HVDV_META_REPEATED = 1 << 4,
    HVDV_META_ASPECT = 1 << 5,
    HVDV_META_FIELD_ORDER = 1 << 6,
    HVDV_META_INTERLACED = 1 << 7,
    HVDV_META_CGMS = 1 << 8,
    HVDV_META_AUDIO_MODE = 1 << 9,
    HVDV_META_CAPTIONS = 1 << 10,
    HVDV_META_CAMERA = 1 << 11,
    HVDV_META_REC_TIME_FRAMES = 1 << 12
};

/* Bits of hvdv_camera.present: the decoded camera fields. */
enum {
    HVDV_CAMERA_IRIS = 1 << 0,
    HVDV_CAMERA_GAIN = 1 << 1,
    HVDV_CAMERA_WHITE_BALANCE = 1 << 2,
    HVDV_CAMERA_SHUTTER = 1 << 3,
    HVDV_CAMERA_EXPOSURE_MODE = 1 << 4
};

typedef struct hvdv_camera {
    uint32_t present;            /* HVDV_CAMERA_* */
    uint32_t packs_present;      /* bit t: pack 0x70 + t was found */
    uint8_t packs[16][5];        /* raw packs 0x70-0x7F, type byte first */
    uint32_t iris_code;          /* F = 2^(code / 8) */
    uint32_t f_number_tenths;    /* F number x 10 (0 closed or unknown) */
    uint32_t exposure_mode;
    uint32_t gain;               /* AGC code 0-14 */
    uint32_t white_balance_mode;
    uint32_t white_balance;
    uint32_t shutter;            /* consumer shutter speed code */
} hvdv_camera;

typedef struct hvdv_metadata {
    uint32_t size;               /* sizeof(hvdv_metadata) */
    uint32_t present;            /* HVDV_META_* */
    /* Timecode (subcode pack 0x13), the value most copies agree on. */
    uint8_t tc_hours, tc_minutes, tc_seconds, tc_frames;
    uint32_t tc_drop_frame;
    uint32_t tc_copies, tc_disagreeing;
    /* Recording date and time (VAUX 0x62 / 0x63, else subcode); two-digit
     * years below 70 are 20xx. */
    uint32_t rec_year, rec_month, rec_day;
    uint32_t rec_hours, rec_minutes, rec_seconds, rec_frames;
    uint32_t rec_from_subcode;   /* 1: date and time came from the subcode */
    uint32_t rec_start;          /* AAUX REC ST: 1 at a recording's start */
    uint32_t repeated;           /* VAUX FC: 1 the picture repeats the previous one */
    uint32_t wide;               /* 1: 16:9 from DISP and BCSYS */
    uint32_t disp, bcsys;
    uint32_t first_field;        /* FF */
    uint32_t field_one_first;    /* FS */
    uint32_t interlaced;         /* IL */
    uint32_t cgms;               /* 0 copy free, 2 one generation, 3 never */
    /* Audio mode of the frame (first AAUX source pack). */
    uint32_t audio_rate, audio_bits, audio_channels, audio_samples, audio_locked;
    /* Closed-caption packs (VAUX 0x65), distinct ones in order. */
    uint32_t caption_count;
    uint8_t captions[4][5];
    hvdv_camera camera;
} hvdv_metadata;

/* Reads the frame's metadata.  HVDV_ERROR_NOT_DV when the frame cannot be
 * identified; HVDV_OK with present = 0 when it carries no pack. */
HVDV_EXPORT int hvdv_read_metadata(const uint8_t* frame, size_t frame_size, hvdv_metadata* meta);

/* ---- Closed captions (since 1.1) -------------------------------------- */

/* Bits of hvdv_captions.parity_errors: a byte whose parity is even. */
enum {
    HVDV_CAPTION_PARITY_F1_BYTE1 = 1 << 0,
    HVDV_CAPTION_PARITY_F1_BYTE2 = 1 << 1,
    HVDV_CAPTION_PARITY_F2_BYTE1 = 1 << 2,
    HVDV_CAPTION_PARITY_F2_BYTE2 = 1 << 3
};

/* The line-21 (CEA-608) bytes of a frame, from its VAUX closed-caption
 * packs (0x65).  Every DIF sequence carries a copy; each field's pair is
 * the value most copies agree on.  At 50 Mb/s and in high definition the
 * first DIF channel's packs are read. */
typedef struct hvdv_captions {
    uint32_t size;               /* sizeof(hvdv_captions) */
    uint32_t present;            /* 1: the frame carries a closed-caption pack */
    uint8_t field1[2];           /* the pair of field 1 as stored, parity bits included */
    uint8_t field2[2];           /* the pair of field 2; 0x80 0x80 carries nothing */
    uint32_t parity_errors;      /* HVDV_CAPTION_PARITY_* */
    uint32_t copies;             /* packs read */
    uint32_t field1_disagreeing; /* copies whose field-1 pair differs from field1 */
    uint32_t field2_disagreeing; /* copies whose field-2 pair differs from field2 */
} hvdv_captions;

/* Reads the frame's closed captions.  HVDV_ERROR_NOT_DV when the frame
 * cannot be identified; HVDV_OK with present = 0 (pairs 0x80 0x80) when it
 * carries no caption pack.  Allocates nothing. */
HVDV_EXPORT int hvdv_read_captions(const uint8_t* frame, size_t frame_size, hvdv_captions* captions);

/* ---- Block status (since 1.1) ----------------------------------------- */

/* Sections of a DIF sequence (hvdv_block.section). */
typedef enum hvdv_section {
    HVDV_SECTION_HEADER = 0,
    HVDV_SECTION_SUBCODE = 1,
    HVDV_SECTION_VAUX = 2,
    HVDV_SECTION_AUDIO = 3,
    HVDV_SECTION_VIDEO = 4
} hvdv_section;

/* Bits of hvdv_block.flags. */
enum {
    HVDV_BLOCK_DAMAGED = 1 << 0,     /* read in error: any of the reasons below */
    HVDV_BLOCK_STA = 1 << 1,         /* video: STA is not 0 (see sta) */
    HVDV_BLOCK_AUDIO_ERRORS = 1 << 2,/* audio: error samples (see error_samples) */
    HVDV_BLOCK_ALL_ERRORS = 1 << 3,  /* audio: every sample slot holds the error code */
    HVDV_BLOCK_ERASED = 1 << 4,      /* subcode, VAUX: a pack is all 0xFF where other
                                        sequences of the frame carry one */
    HVDV_BLOCK_DISAGREES = 1 << 5,   /* subcode, VAUX: a pack differs from the copies most
                                        of the frame's sequences carry in that place */
    HVDV_BLOCK_BAD_ID = 1 << 6       /* the block's ID names another section, sequence or number */
};

/* One DIF block, in buffer order.  Its place comes from its position in the
 * buffer (the layout of the frame's kind), not from its own ID. */
typedef struct hvdv_block {
    uint8_t section;         /* hvdv_section */
    uint8_t channel;         /* DIF channel */
    uint8_t sequence;        /* DIF sequence within the channel */
    uint8_t number;          /* block number within its section of the sequence */
    uint8_t flags;           /* HVDV_BLOCK_* */
    uint8_t sta;             /* video: the STA nibble; 0 otherwise */
    uint16_t error_samples;  /* audio: samples with the error code (0x8000 at 16 bits,
                                0x800 at 12 bits), over the block's sample slots */
} hvdv_block;

typedef struct hvdv_block_summary {
    uint32_t size;             /* sizeof(hvdv_block_summary) */
    uint32_t block_count;      /* blocks of the frame: whole 80-byte blocks in the buffer,
                                  at most those of a whole frame of its kind */
    uint32_t damaged[5];       /* damaged blocks per hvdv_section */
    uint32_t audio_error_samples;  /* error samples of every audio block */
    uint32_t audio_bits;       /* 16 or 12: how the samples were read */
} hvdv_block_summary;

/* Fills blocks[0 .. block_count) with the state of each DIF block of the
 * frame.  summary (size set, required) receives block_count and the totals.
 * blocks may be null with capacity 0 to learn block_count; a capacity below
 * block_count gives HVDV_ERROR_BUFFER_SMALL and fills nothing.  Allocates
 * nothing. */
HVDV_EXPORT int hvdv_block_status(const uint8_t* frame, size_t frame_size, hvdv_block* blocks,
                                  size_t capacity, hvdv_block_summary* summary);

#ifdef __cplusplus
}
#endif

#endif /* HVDV_H */

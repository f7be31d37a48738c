// hvdvdec: a GStreamer video decoder over the hvdv library (hvdv.h).
//
// One input buffer is one DV frame (what dvdemux, avidemux, qtdemux,
// matroskademux and mxfdemux deliver).  Everything the caps say is read from
// the DIF data of each frame, not from the container: the kind, the picture
// size, the frame rate, the aspect and the field order, so that a tape whose
// recordings change kind or aspect renegotiates at the frame that changes.
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gst/video/gstvideodecoder.h>

#include <cstring>

#include "hvdv.h"

GST_DEBUG_CATEGORY_STATIC(hvdvdec_debug);
#define GST_CAT_DEFAULT hvdvdec_debug

namespace {

// What decides the output caps.  A frame that differs from the last one in
// any of these renegotiates.
struct DVOutputKey {
    hvdv_kind kind;
    uint32_t wide;
    GstVideoInterlaceMode interlace;
    GstVideoFieldOrder fieldOrder;
    gboolean half, codedWidth;

    bool operator==(const DVOutputKey& o) const {
        return kind == o.kind && wide == o.wide && interlace == o.interlace && fieldOrder == o.fieldOrder &&
               half == o.half && codedWidth == o.codedWidth;
    }
};

// An output format and the hvdv format that fills it.  Packed formats go
// through the library's packed writers; "BGR4" is B G R 255, full range,
// which is both BGRx and BGRA.
struct DVOutputFormat {
    GstVideoFormat video;
    uint32_t hvdv;
};

constexpr uint32_t Fourcc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

const DVOutputFormat kPackedFormats[] = {
    {GST_VIDEO_FORMAT_UYVY, Fourcc('U', 'Y', 'V', 'Y')},
    {GST_VIDEO_FORMAT_YUY2, Fourcc('Y', 'U', 'Y', '2')},
    {GST_VIDEO_FORMAT_BGRx, Fourcc('B', 'G', 'R', '4')},
    {GST_VIDEO_FORMAT_BGRA, Fourcc('B', 'G', 'R', '4')},
};

bool IsHd(hvdv_kind kind) { return kind >= HVDV_KIND_HD_1080I60; }

GstVideoFormat NativeFormat(hvdv_chroma chroma) {
    switch (chroma) {
        case HVDV_CHROMA_411: return GST_VIDEO_FORMAT_Y41B;
        case HVDV_CHROMA_420: return GST_VIDEO_FORMAT_I420;
        default: return GST_VIDEO_FORMAT_Y42B;
    }
}

uint32_t Gcd(uint32_t a, uint32_t b) {
    while (b) {
        const uint32_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// The field order as libavcodec reads FS of the VAUX control pack (checked
// with ffprobe on every test stream): at 25 and 50 Mb/s FS = 1 means bottom
// field first, at 1080 lines top field first.  IL = 0 on standard
// definition is a progressive picture.  Without the pack, standard
// definition is bottom field first (as camcorders record) and 1080i top
// field first.
void FieldOrderOf(const hvdv_frame_info& info, const hvdv_metadata& meta, GstVideoInterlaceMode* mode,
                  GstVideoFieldOrder* order) {
    const bool hd = IsHd(info.kind);
    *mode = GST_VIDEO_INTERLACE_MODE_INTERLEAVED;
    if (!info.interlaced ||
        (!hd && (meta.present & HVDV_META_INTERLACED) && !meta.interlaced)) {
        *mode = GST_VIDEO_INTERLACE_MODE_PROGRESSIVE;
        *order = GST_VIDEO_FIELD_ORDER_UNKNOWN;
        return;
    }
    bool top = hd;
    if (meta.present & HVDV_META_FIELD_ORDER) top = (meta.field_one_first != 0) == hd;
    *order = top ? GST_VIDEO_FIELD_ORDER_TOP_FIELD_FIRST : GST_VIDEO_FIELD_ORDER_BOTTOM_FIELD_FIRST;
}

}  // namespace

// ---- The element --------------------------------------------------------

struct GstHvdvDec {
    GstVideoDecoder parent;

    // Properties (object lock).
    guint threads;
    gboolean halfSize, conceal, codedWidth;

    hvdv_decoder* decoder;
    guint decoderThreads;
    GstVideoCodecState* inputState;
    bool haveKey;
    DVOutputKey key;
    uint32_t hvdvFormat;     // HVDV_FORMAT_PLANAR or a packed FOURCC
    guint width, height;     // the output picture
    GstBuffer* previous;     // the last picture, for concealment
    hvdv_damage damage;
    hvdv_metadata meta;
};

struct GstHvdvDecClass {
    GstVideoDecoderClass parent_class;
};

G_DEFINE_TYPE(GstHvdvDec, gst_hvdv_dec, GST_TYPE_VIDEO_DECODER)
#define GST_HVDV_DEC(obj) (G_TYPE_CHECK_INSTANCE_CAST((obj), gst_hvdv_dec_get_type(), GstHvdvDec))

enum { PROP_0, PROP_THREADS, PROP_HALF_SIZE, PROP_CONCEAL, PROP_CODED_WIDTH };

// The damage meta: a GstCustomMeta whose structure "hvdv-damage" holds the
// counts of one frame.  It is attached to frames with damaged macroblocks
// or with blocks whose STA is not 0.
static const char kDamageMetaName[] = "HvdvDamageMeta";

// What a demuxer gives for DV.  qtdemux names DVCPRO HD 720p by its
// QuickTime codes, which it does not map to video/x-dv.
static GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/x-dv, systemstream = (boolean) false; "
                                            "video/x-gst-fourcc-dvhp; video/x-gst-fourcc-dvhq"));

static GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("{ Y41B, I420, Y42B, UYVY, YUY2, BGRx, BGRA }")));

static bool OpenDecoder(GstHvdvDec* self) {
    GST_OBJECT_LOCK(self);
    const guint threads = self->threads;
    GST_OBJECT_UNLOCK(self);
    if (self->decoder && self->decoderThreads == threads) return true;
    if (self->decoder) hvdv_decoder_destroy(self->decoder);
    self->decoder = nullptr;
    hvdv_decoder_config config{};
    config.size = sizeof config;
    config.threads = threads;
    const int r = hvdv_decoder_create(&config, &self->decoder);
    if (r != HVDV_OK) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, (nullptr), ("hvdv_decoder_create: %s", hvdv_strerror(r)));
        return false;
    }
    self->decoderThreads = threads;
    return true;
}

static gboolean gst_hvdv_dec_start(GstVideoDecoder* dec) {
    GstHvdvDec* self = GST_HVDV_DEC(dec);
    self->haveKey = false;
    return OpenDecoder(self);
}

static gboolean gst_hvdv_dec_stop(GstVideoDecoder* dec) {
    GstHvdvDec* self = GST_HVDV_DEC(dec);
    if (self->decoder) hvdv_decoder_destroy(self->decoder);
    self->decoder = nullptr;
    g_clear_pointer(&self->inputState, gst_video_codec_state_unref);
    gst_buffer_replace(&self->previous, nullptr);
    self->haveKey = false;
    return TRUE;
}

static gboolean gst_hvdv_dec_flush(GstVideoDecoder* dec) {
    // After a seek the last picture shows another place of the stream.
    gst_buffer_replace(&GST_HVDV_DEC(dec)->previous, nullptr);
    return TRUE;
}

static gboolean gst_hvdv_dec_set_format(GstVideoDecoder* dec, GstVideoCodecState* state) {
    GstHvdvDec* self = GST_HVDV_DEC(dec);
    g_clear_pointer(&self->inputState, gst_video_codec_state_unref);
    self->inputState = gst_video_codec_state_ref(state);
    // The caps come from the first frame.
    self->haveKey = false;
    return TRUE;
}

// The sink caps do not depend on downstream: every DV kind decodes to a
// format downstream takes or fails at negotiation.  (The default would
// copy downstream's sizes and rates into video/x-dv, which a capsfilter
// after filesrc cannot fixate.)
static GstCaps* gst_hvdv_dec_getcaps(GstVideoDecoder* dec, GstCaps* filter) {
    GstCaps* caps = gst_pad_get_pad_template_caps(GST_VIDEO_DECODER_SINK_PAD(dec));
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

// Chooses the output format with downstream (the coded sampling first,
// then the packed formats in template order) and sets the output state.
static GstFlowReturn Negotiate(GstHvdvDec* self, const hvdv_frame_info& info, const DVOutputKey& key) {
    GstVideoDecoder* dec = GST_VIDEO_DECODER(self);
    const guint shift = key.half ? 1 : 0;
    const GstVideoFormat native = NativeFormat(info.chroma);
    const guint planarWidth = info.coded_width >> shift, height = info.coded_height >> shift;
    // Packed high definition is resampled to its display width unless the
    // coded width is asked for; standard definition is 720 wide either way.
    const guint packedWidth = (IsHd(info.kind) && !key.codedWidth ? info.display_width : info.coded_width) >> shift;

    GstCaps* allowed = gst_pad_get_allowed_caps(GST_VIDEO_DECODER_SRC_PAD(dec));
    auto accepted = [&](GstVideoFormat f, guint w) {
        if (!allowed || gst_caps_is_any(allowed)) return true;
        GstCaps* c = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, gst_video_format_to_string(f),
                                         "width", G_TYPE_INT, int(w), "height", G_TYPE_INT, int(height), nullptr);
        const bool ok = gst_caps_can_intersect(allowed, c);
        gst_caps_unref(c);
        return ok;
    };
    GstVideoFormat format = GST_VIDEO_FORMAT_UNKNOWN;
    guint width = planarWidth;
    uint32_t hvdvFormat = HVDV_FORMAT_PLANAR;
    if (accepted(native, planarWidth)) {
        format = native;
    } else {
        for (const DVOutputFormat& f : kPackedFormats) {
            if (accepted(f.video, packedWidth)) {
                format = f.video;
                width = packedWidth;
                hvdvFormat = f.hvdv;
                break;
            }
        }
    }
    if (allowed) gst_caps_unref(allowed);
    if (format == GST_VIDEO_FORMAT_UNKNOWN) {
        GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, (nullptr),
                          ("downstream accepts none of %s, UYVY, YUY2, BGRx, BGRA at %ux%u",
                           gst_video_format_to_string(native), planarWidth, height));
        return GST_FLOW_NOT_NEGOTIATED;
    }

    GstVideoCodecState* out = gst_video_decoder_set_output_state(dec, format, width, height, self->inputState);
    GstVideoInfo* vi = &out->info;
    // Display aspect 4:3, or 16:9 for wide standard definition and for high
    // definition, over the whole coded picture (as libavcodec gives it).
    const bool wide = IsHd(info.kind) || info.wide;
    const uint32_t ax = (wide ? 16 : 4) * height, ay = (wide ? 9 : 3) * width, d = Gcd(ax, ay);
    GST_VIDEO_INFO_PAR_N(vi) = int(ax / d);
    GST_VIDEO_INFO_PAR_D(vi) = int(ay / d);
    GST_VIDEO_INFO_FPS_N(vi) = int(info.rate_num);
    GST_VIDEO_INFO_FPS_D(vi) = int(info.rate_den);
    GST_VIDEO_INFO_INTERLACE_MODE(vi) = key.interlace;
    GST_VIDEO_INFO_FIELD_ORDER(vi) = key.fieldOrder;
    // BT.601 at standard definition (EBU primaries on 625 lines, SMPTE C on
    // 525), BT.709 in high definition; the library's RGB uses the same
    // matrix, full range.
    GstVideoColorimetry& c = vi->colorimetry;
    gst_video_colorimetry_from_string(&c, IsHd(info.kind) ? GST_VIDEO_COLORIMETRY_BT709 : GST_VIDEO_COLORIMETRY_BT601);
    if (!IsHd(info.kind))
        c.primaries = info.lines == 625 ? GST_VIDEO_COLOR_PRIMARIES_BT470BG : GST_VIDEO_COLOR_PRIMARIES_SMPTE170M;
    if (GST_VIDEO_INFO_IS_RGB(vi)) {
        c.range = GST_VIDEO_COLOR_RANGE_0_255;
        c.matrix = GST_VIDEO_COLOR_MATRIX_RGB;
    }
    // 625/50 4:2:0 carries blue and red on alternate lines; every other
    // sampling is co-sited with the first luma sample.
    vi->chroma_site = format == GST_VIDEO_FORMAT_I420 ? GST_VIDEO_CHROMA_SITE_DV : GST_VIDEO_CHROMA_SITE_COSITED;
    gst_video_codec_state_unref(out);

    if (!gst_video_decoder_negotiate(dec)) return GST_FLOW_NOT_NEGOTIATED;
    self->key = key;
    self->haveKey = true;
    self->hvdvFormat = hvdvFormat;
    self->width = width;
    self->height = height;
    gst_buffer_replace(&self->previous, nullptr);
    GST_INFO_OBJECT(self, "DV kind %d: %s %ux%u", int(info.kind), gst_video_format_to_string(format), width, height);
    return GST_FLOW_OK;
}

static void AttachDamage(GstHvdvDec* self, GstVideoCodecFrame* frame, GstBuffer* out) {
    const hvdv_damage& d = self->damage;
    bool flagged = d.damaged != 0;
    for (int s = 1; s < 16; ++s) flagged |= d.sta_counts[s] != 0;
    if (!flagged) return;
    if (d.damaged) GST_BUFFER_FLAG_SET(out, GST_BUFFER_FLAG_CORRUPTED);

    GValue staCounts = G_VALUE_INIT;
    gst_value_array_init(&staCounts, 16);
    for (int s = 0; s < 16; ++s) {
        GValue v = G_VALUE_INIT;
        g_value_init(&v, G_TYPE_UINT);
        g_value_set_uint(&v, d.sta_counts[s]);
        gst_value_array_append_and_take_value(&staCounts, &v);
    }
    GstCustomMeta* meta = gst_buffer_add_custom_meta(out, kDamageMetaName);
    GstStructure* s = gst_custom_meta_get_structure(meta);
    gst_structure_set(s, "macroblocks", G_TYPE_UINT, d.macroblock_count, "damaged", G_TYPE_UINT, d.damaged,
                      "filled", G_TYPE_UINT, d.filled, "untouched", G_TYPE_UINT, d.untouched, nullptr);
    gst_structure_set_value(s, "sta-counts", &staCounts);

    // The same counts on the bus, with the frame they belong to.
    GstStructure* m = gst_structure_copy(s);
    gst_structure_set_name(m, "hvdv-damage");
    gst_structure_set(m, "frame", G_TYPE_UINT, frame->system_frame_number, "pts", G_TYPE_UINT64, frame->pts,
                      nullptr);
    gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), m));
    g_value_unset(&staCounts);
}

static void AttachTimecode(GstHvdvDec* self, GstBuffer* out) {
    const hvdv_metadata& m = self->meta;
    if (!(m.present & HVDV_META_TIMECODE)) return;
    GstVideoCodecState* state = gst_video_decoder_get_output_state(GST_VIDEO_DECODER(self));
    if (!state) return;
    int flags = GST_VIDEO_TIME_CODE_FLAGS_NONE;
    if (m.tc_drop_frame) flags |= GST_VIDEO_TIME_CODE_FLAGS_DROP_FRAME;
    if (self->key.interlace != GST_VIDEO_INTERLACE_MODE_PROGRESSIVE) flags |= GST_VIDEO_TIME_CODE_FLAGS_INTERLACED;
    // A timecode GStreamer finds invalid (damaged digits) is not attached.
    gst_buffer_add_video_time_code_meta_full(out, guint(GST_VIDEO_INFO_FPS_N(&state->info)),
                                             guint(GST_VIDEO_INFO_FPS_D(&state->info)), nullptr,
                                             GstVideoTimeCodeFlags(flags), m.tc_hours, m.tc_minutes, m.tc_seconds,
                                             m.tc_frames, 0);
    gst_video_codec_state_unref(state);
}

// Repeats the last picture for a frame that cannot be decoded at all, when
// concealing; otherwise the frame is dropped.  Either way the stream goes on.
static GstFlowReturn LoseFrame(GstHvdvDec* self, GstVideoCodecFrame* frame, int result) {
    GstVideoDecoder* dec = GST_VIDEO_DECODER(self);
    GST_OBJECT_LOCK(self);
    const bool conceal = self->conceal;
    GST_OBJECT_UNLOCK(self);
    GST_ELEMENT_WARNING(self, STREAM, DECODE, (nullptr),
                        ("frame %u: %s", frame->system_frame_number, hvdv_strerror(result)));
    if (!conceal || !self->previous) return gst_video_decoder_drop_frame(dec, frame);
    GstFlowReturn ret = gst_video_decoder_allocate_output_frame(dec, frame);
    if (ret != GST_FLOW_OK) {
        gst_video_decoder_drop_frame(dec, frame);
        return ret;
    }
    GstBuffer* out = frame->output_buffer;
    GstMapInfo map;
    if (gst_buffer_map(out, &map, GST_MAP_WRITE)) {
        gst_buffer_extract(self->previous, 0, map.data, map.size);
        gst_buffer_unmap(out, &map);
    }
    GST_BUFFER_FLAG_SET(out, GST_BUFFER_FLAG_CORRUPTED);
    return gst_video_decoder_finish_frame(dec, frame);
}

static GstFlowReturn gst_hvdv_dec_handle_frame(GstVideoDecoder* dec, GstVideoCodecFrame* frame) {
    GstHvdvDec* self = GST_HVDV_DEC(dec);
    if (!OpenDecoder(self)) {
        gst_video_decoder_drop_frame(dec, frame);
        return GST_FLOW_ERROR;
    }
    GST_OBJECT_LOCK(self);
    const gboolean half = self->halfSize, codedWidth = self->codedWidth, conceal = self->conceal;
    GST_OBJECT_UNLOCK(self);

    GstMapInfo in;
    if (!gst_buffer_map(frame->input_buffer, &in, GST_MAP_READ)) {
        gst_video_decoder_drop_frame(dec, frame);
        return GST_FLOW_ERROR;
    }
    hvdv_frame_info info{};
    info.size = sizeof info;
    int r = hvdv_probe_frame(in.data, in.size, &info);
    if (r != HVDV_OK) {
        gst_buffer_unmap(frame->input_buffer, &in);
        return LoseFrame(self, frame, r);
    }
    self->meta = hvdv_metadata{};
    self->meta.size = sizeof self->meta;
    if (hvdv_read_metadata(in.data, in.size, &self->meta) != HVDV_OK) self->meta.present = 0;

    DVOutputKey key{info.kind, info.wide, GST_VIDEO_INTERLACE_MODE_PROGRESSIVE, GST_VIDEO_FIELD_ORDER_UNKNOWN,
                    half, codedWidth};
    FieldOrderOf(info, self->meta, &key.interlace, &key.fieldOrder);
    GstFlowReturn ret = GST_FLOW_OK;
    if (!self->haveKey || !(key == self->key) || gst_pad_check_reconfigure(GST_VIDEO_DECODER_SRC_PAD(dec)))
        ret = Negotiate(self, info, key);
    if (ret == GST_FLOW_OK) ret = gst_video_decoder_allocate_output_frame(dec, frame);
    if (ret != GST_FLOW_OK) {
        gst_buffer_unmap(frame->input_buffer, &in);
        gst_video_decoder_drop_frame(dec, frame);
        return ret;
    }

    GstBuffer* out = frame->output_buffer;
    GstVideoCodecState* state = gst_video_decoder_get_output_state(dec);
    GstVideoFrame vf;
    const bool mapped = gst_video_frame_map(&vf, &state->info, out, GST_MAP_READWRITE);
    bool concealing = false;
    if (mapped && conceal && self->previous && self->hvdvFormat == HVDV_FORMAT_PLANAR) {
        // Damaged macroblocks keep what the last picture had there: the
        // new picture starts as a copy of it.
        GstVideoFrame prev;
        if (gst_video_frame_map(&prev, &state->info, self->previous, GST_MAP_READ)) {
            concealing = gst_video_frame_copy(&vf, &prev);
            gst_video_frame_unmap(&prev);
        }
    }
    gst_video_codec_state_unref(state);
    if (!mapped) {
        gst_buffer_unmap(frame->input_buffer, &in);
        gst_video_decoder_drop_frame(dec, frame);
        return GST_FLOW_ERROR;
    }

    hvdv_picture picture{};
    picture.size = sizeof picture;
    picture.format = self->hvdvFormat;
    uint32_t flags = HVDV_DECODE_IGNORE_WIDE;  // the aspect is in the caps
    if (self->hvdvFormat == HVDV_FORMAT_PLANAR) {
        for (int p = 0; p < 3; ++p) {
            picture.data[p] = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&vf, p));
            picture.pitch[p] = GST_VIDEO_FRAME_PLANE_STRIDE(&vf, p);
        }
        if (half) flags |= HVDV_DECODE_HALF;
        if (concealing) flags |= HVDV_DECODE_KEEP_DAMAGED;
    } else {
        picture.data[0] = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&vf, 0));
        picture.pitch[0] = GST_VIDEO_FRAME_PLANE_STRIDE(&vf, 0);
        picture.width = self->width;
        picture.height = self->height;
    }
    self->damage = hvdv_damage{};
    self->damage.size = sizeof self->damage;
    r = hvdv_decode_video(self->decoder, in.data, in.size, &picture, flags, nullptr, &self->damage);
    gst_video_frame_unmap(&vf);
    gst_buffer_unmap(frame->input_buffer, &in);
    // Undecodable: no macroblock came from the buffer, but the picture is
    // whole (grey, or the last picture when concealing).
    if (r != HVDV_OK && r != HVDV_ERROR_UNDECODABLE) {
        gst_video_decoder_drop_frame(dec, frame);
        GST_ELEMENT_WARNING(self, STREAM, DECODE, (nullptr),
                            ("frame %u: %s", frame->system_frame_number, hvdv_strerror(r)));
        return GST_FLOW_OK;
    }
    if (r == HVDV_ERROR_UNDECODABLE) GST_BUFFER_FLAG_SET(out, GST_BUFFER_FLAG_CORRUPTED);

    if (self->key.interlace == GST_VIDEO_INTERLACE_MODE_INTERLEAVED) {
        GST_BUFFER_FLAG_SET(out, GST_VIDEO_BUFFER_FLAG_INTERLACED);
        if (self->key.fieldOrder == GST_VIDEO_FIELD_ORDER_TOP_FIELD_FIRST)
            GST_BUFFER_FLAG_SET(out, GST_VIDEO_BUFFER_FLAG_TFF);
    }
    AttachDamage(self, frame, out);
    AttachTimecode(self, out);
    if (conceal && self->hvdvFormat == HVDV_FORMAT_PLANAR) gst_buffer_replace(&self->previous, out);
    return gst_video_decoder_finish_frame(dec, frame);
}

static void gst_hvdv_dec_set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    GstHvdvDec* self = GST_HVDV_DEC(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_THREADS: self->threads = g_value_get_uint(value); break;
        case PROP_HALF_SIZE: self->halfSize = g_value_get_boolean(value); break;
        case PROP_CONCEAL: self->conceal = g_value_get_boolean(value); break;
        case PROP_CODED_WIDTH: self->codedWidth = g_value_get_boolean(value); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

static void gst_hvdv_dec_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstHvdvDec* self = GST_HVDV_DEC(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_THREADS: g_value_set_uint(value, self->threads); break;
        case PROP_HALF_SIZE: g_value_set_boolean(value, self->halfSize); break;
        case PROP_CONCEAL: g_value_set_boolean(value, self->conceal); break;
        case PROP_CODED_WIDTH: g_value_set_boolean(value, self->codedWidth); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

static void gst_hvdv_dec_finalize(GObject* object) {
    GstHvdvDec* self = GST_HVDV_DEC(object);
    if (self->decoder) hvdv_decoder_destroy(self->decoder);
    G_OBJECT_CLASS(gst_hvdv_dec_parent_class)->finalize(object);
}

static void gst_hvdv_dec_init(GstHvdvDec* self) {
    GstVideoDecoder* dec = GST_VIDEO_DECODER(self);
    gst_video_decoder_set_packetized(dec, TRUE);
    gst_video_decoder_set_use_default_pad_acceptcaps(dec, TRUE);
    GST_PAD_SET_ACCEPT_TEMPLATE(GST_VIDEO_DECODER_SINK_PAD(dec));
    self->threads = 0;
    self->halfSize = FALSE;
    self->conceal = FALSE;
    self->codedWidth = FALSE;
    self->decoder = nullptr;
    self->decoderThreads = 0;
    self->inputState = nullptr;
    self->haveKey = false;
    self->previous = nullptr;
}

static void gst_hvdv_dec_class_init(GstHvdvDecClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstVideoDecoderClass* dec = GST_VIDEO_DECODER_CLASS(klass);
    object->set_property = gst_hvdv_dec_set_property;
    object->get_property = gst_hvdv_dec_get_property;
    object->finalize = gst_hvdv_dec_finalize;
    const auto rw = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(
        object, PROP_THREADS,
        g_param_spec_uint("threads", "Threads", "Threads decoding one frame (0: one a processor, at most 16)", 0, 16,
                          0, rw));
    g_object_class_install_property(
        object, PROP_HALF_SIZE,
        g_param_spec_boolean("half-size", "Half size", "Decode at half width and half height", FALSE, rw));
    g_object_class_install_property(
        object, PROP_CONCEAL,
        g_param_spec_boolean("conceal", "Conceal",
                             "Damaged macroblocks keep the previous picture's samples (planar output)", FALSE, rw));
    g_object_class_install_property(
        object, PROP_CODED_WIDTH,
        g_param_spec_boolean("coded-width", "Coded width",
                             "Packed DVCPRO HD output at its coded width (960, 1280, 1440) instead of the display "
                             "width",
                             FALSE, rw));
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(
        element, "DV video decoder (hvdv)", "Codec/Decoder/Video",
        "Decodes DV, DVCAM, DVCPRO, DVCPRO50 and DVCPRO HD video with the hvdv library", "hv_dec_dv developers");
    dec->start = gst_hvdv_dec_start;
    dec->stop = gst_hvdv_dec_stop;
    dec->flush = gst_hvdv_dec_flush;
    dec->set_format = gst_hvdv_dec_set_format;
    dec->getcaps = gst_hvdv_dec_getcaps;
    dec->handle_frame = gst_hvdv_dec_handle_frame;
    GST_DEBUG_CATEGORY_INIT(hvdvdec_debug, "hvdvdec", 0, "DV decoder (hvdv)");
}

static gboolean plugin_init(GstPlugin* plugin) {
    const gchar* tags[] = {nullptr};
    gst_meta_register_custom(kDamageMetaName, tags, nullptr, nullptr, nullptr);
    // Above dvdec (marginal) and avdec_dvvideo (secondary), so that
    // decodebin and playbin pick this one.
    return gst_element_register(plugin, "hvdvdec", GST_RANK_PRIMARY + 1, gst_hvdv_dec_get_type());
}

#define PACKAGE "hv_dec_dv"  // GST_PLUGIN_DEFINE names it
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, hvdv, "DV video decoding with the hvdv library", plugin_init,
                  HVDV_GST_VERSION, GST_LICENSE_UNKNOWN, "hv_dec_dv", "hv_dec_dv")

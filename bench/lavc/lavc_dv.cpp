#include "lavc_dv.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace lavc {

struct DvDecoder::Impl {
    AVCodecContext* ctx = nullptr;
    AVPacket* pkt = nullptr;
    AVFrame* frame = nullptr;
    std::vector<uint8_t> padded;
};

DvDecoder::DvDecoder(int threads) : impl_(new Impl) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    if (!codec) return;
    impl_->ctx = avcodec_alloc_context3(codec);
    if (!impl_->ctx) return;
    impl_->ctx->thread_count = threads;
    impl_->ctx->thread_type = FF_THREAD_SLICE;
    if (avcodec_open2(impl_->ctx, codec, nullptr) < 0) {
        avcodec_free_context(&impl_->ctx);
        return;
    }
    impl_->pkt = av_packet_alloc();
    impl_->frame = av_frame_alloc();
}

DvDecoder::~DvDecoder() {
    av_frame_free(&impl_->frame);
    av_packet_free(&impl_->pkt);
    avcodec_free_context(&impl_->ctx);
}

bool DvDecoder::ok() const { return impl_->ctx && impl_->pkt && impl_->frame; }

bool DvDecoder::DecodeOnly(const uint8_t* data, int size) {
    if (!ok()) return false;
    // libavcodec wants zeroed padding after the packet.
    impl_->padded.resize((size_t)size + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(impl_->padded.data(), data, (size_t)size);
    std::memset(impl_->padded.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    impl_->pkt->data = impl_->padded.data();
    impl_->pkt->size = size;
    if (avcodec_send_packet(impl_->ctx, impl_->pkt) < 0) return false;
    return avcodec_receive_frame(impl_->ctx, impl_->frame) == 0;
}

bool DvDecoder::Decode(const uint8_t* data, int size, Picture* out) {
    if (!DecodeOnly(data, size)) return false;
    const AVFrame* f = impl_->frame;
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get((AVPixelFormat)f->format);
    if (!d) return false;
    out->width = f->width;
    out->height = f->height;
    out->chromaWidth = -((-f->width) >> d->log2_chroma_w);
    out->chromaHeight = -((-f->height) >> d->log2_chroma_h);
    auto copy = [](std::vector<uint8_t>& dst, const uint8_t* src, int stride, int w, int h) {
        dst.resize((size_t)w * h);
        for (int r = 0; r < h; r++) std::memcpy(dst.data() + (size_t)r * w, src + (ptrdiff_t)r * stride, w);
    };
    copy(out->y, f->data[0], f->linesize[0], out->width, out->height);
    copy(out->cb, f->data[1], f->linesize[1], out->chromaWidth, out->chromaHeight);
    copy(out->cr, f->data[2], f->linesize[2], out->chromaWidth, out->chromaHeight);
    av_frame_unref(impl_->frame);
    return true;
}

}  // namespace lavc

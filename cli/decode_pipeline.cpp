#include "decode_pipeline.h"

namespace hvdv_cli {

DecodePipeline::DecodePipeline(const DecodeSettings& settings, Deliver deliver)
    : settings_(settings), deliver_(std::move(deliver)) {}

DecodePipeline::~DecodePipeline() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& t : workers_) t.join();
    for (hvdv_decoder* d : decoders_) hvdv_decoder_destroy(d);
}

bool DecodePipeline::Start(unsigned threads, uint32_t cpuMask, std::string* error) {
    hvdv_decoder_config config{};
    config.size = sizeof config;
    config.threads = 1;  // parallel across frames, not within one
    config.cpu_mask = cpuMask;
    for (unsigned i = 0; i < threads; ++i) {
        hvdv_decoder* d = nullptr;
        const int r = hvdv_decoder_create(&config, &d);
        if (r != HVDV_OK) {
            *error = hvdv_strerror(r);
            return false;
        }
        decoders_.push_back(d);
    }
    const size_t slots = threads == 1 ? 1 : 2 * size_t(threads);
    ring_.resize(slots);
    state_.assign(slots, State::kFree);
    if (threads > 1)
        for (hvdv_decoder* d : decoders_) workers_.emplace_back(&DecodePipeline::Work, this, d);
    return true;
}

void DecodePipeline::Work(hvdv_decoder* decoder) {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        // Frames are taken in the order they were submitted.
        work_.wait(hold, [this] { return stopping_ || taken_ < queued_; });
        if (stopping_) return;
        const size_t slot = size_t(taken_++ % ring_.size());
        hold.unlock();
        DecodeFrame(decoder, settings_, &ring_[slot]);
        hold.lock();
        state_[slot] = State::kDone;
        done_.notify_all();
    }
}

bool DecodePipeline::DeliverNext() {
    const size_t slot = size_t(delivered_ % ring_.size());
    {
        std::unique_lock<std::mutex> hold(lock_);
        done_.wait(hold, [&] { return state_[slot] == State::kDone; });
    }
    // The slot is the caller's until it is marked free again.
    if (!deliver_(ring_[slot])) failed_ = true;
    std::lock_guard<std::mutex> hold(lock_);
    state_[slot] = State::kFree;
    ++delivered_;
    return !failed_;
}

FrameWork* DecodePipeline::Acquire() {
    if (failed_) return nullptr;
    while (submitted_ - delivered_ == ring_.size())
        if (!DeliverNext()) return nullptr;
    return &ring_[size_t(submitted_ % ring_.size())];
}

void DecodePipeline::Submit() {
    const size_t slot = size_t(submitted_ % ring_.size());
    ++submitted_;
    if (workers_.empty()) {
        DecodeFrame(decoders_[0], settings_, &ring_[slot]);
        state_[slot] = State::kDone;
        DeliverNext();
        return;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        state_[slot] = State::kQueued;
        ++queued_;
    }
    work_.notify_one();
}

bool DecodePipeline::Finish() {
    while (!failed_ && delivered_ < submitted_) DeliverNext();
    return !failed_;
}

}  // namespace hvdv_cli

// Frame-parallel decoding for "hvdv decode": N decoders (one thread each)
// work on N frames at once; finished frames are handed back in input order
// on the calling thread.  A ring of 2N frames bounds the memory: the caller
// cannot fill a frame until the one 2N earlier has been handed back.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame_work.h"

namespace hvdv_cli {

class DecodePipeline {
public:
    // deliver gets each decoded frame in input order; false stops the run.
    using Deliver = std::function<bool(FrameWork&)>;
    DecodePipeline(const DecodeSettings& settings, Deliver deliver);
    ~DecodePipeline();
    DecodePipeline(const DecodePipeline&) = delete;
    DecodePipeline& operator=(const DecodePipeline&) = delete;

    // threads 1 decodes on the calling thread; more start that many
    // workers.  False with a reason when a decoder cannot be made.
    bool Start(unsigned threads, uint32_t cpuMask, std::string* error);
    // A free frame for the caller to fill (earlier frames may be delivered
    // first); null once deliver has returned false.
    FrameWork* Acquire();
    // Queues the frame Acquire returned.
    void Submit();
    // Delivers every submitted frame; false when deliver returned false.
    bool Finish();

private:
    enum class State { kFree, kQueued, kDone };
    bool DeliverNext();
    void Work(hvdv_decoder* decoder);

    const DecodeSettings& settings_;
    Deliver deliver_;
    std::vector<FrameWork> ring_;
    std::vector<State> state_;
    std::vector<hvdv_decoder*> decoders_;
    std::vector<std::thread> workers_;
    uint64_t queued_ = 0, taken_ = 0;  // frames handed to the workers, and taken by one
    uint64_t submitted_ = 0, delivered_ = 0;
    bool stopping_ = false, failed_ = false;
    std::mutex lock_;
    std::condition_variable work_, done_;
};

}  // namespace hvdv_cli

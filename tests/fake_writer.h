// A picture writer that writes no picture: it records which thread handed it
// which macroblocks and which rows, so tests can check how a frame's work was
// shared out.
#pragma once
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "writer/writer.h"

namespace hvdv_test {

struct FakeWriter {
    struct Flush {
        int threadIndex, firstRow, rowCount;
        std::thread::id thread;
        int macroblocksBefore;  // macroblocks received when the flush began
    };
    // Standard layout, so a pointer to `w` converts back to the holder.
    struct Holder {
        hvdv::DVPictureWriter w;
        FakeWriter* owner;
    } holder{};
    hvdv::DVPictureWriter& w = holder.w;
    std::mutex mutex;
    std::vector<Flush> flushes;
    int macroblocks = 0;
    int macroblocksPerIndex[16] = {};
    std::vector<std::thread::id> macroblockThreads[16];
    int endFrames = 0, freed = 0;
    int failBegin = 0;
    explicit FakeWriter(bool withFlush = true) {
        holder.owner = this;
        w.BeginFrame = [](hvdv::DVPictureWriter* p, uint8_t*, int32_t, int32_t, int32_t) -> int32_t {
            return Of(p)->failBegin;
        };
        w.PutMacroblock = [](hvdv::DVPictureWriter* p, int index, int, int, const hvdv::DVMacroblock*) {
            FakeWriter* f = Of(p);
            std::lock_guard<std::mutex> hold(f->mutex);
            ++f->macroblocks;
            if (index >= 0 && index < 16) {
                ++f->macroblocksPerIndex[index];
                auto& threads = f->macroblockThreads[index];
                if (std::find(threads.begin(), threads.end(), std::this_thread::get_id()) == threads.end())
                    threads.push_back(std::this_thread::get_id());
            }
        };
        w.EndFrame = [](hvdv::DVPictureWriter* p) { ++Of(p)->endFrames; };
        if (withFlush)
            w.FlushRows = [](hvdv::DVPictureWriter* p, int index, int first, int count) {
                FakeWriter* f = Of(p);
                std::lock_guard<std::mutex> hold(f->mutex);
                f->flushes.push_back({index, first, count, std::this_thread::get_id(), f->macroblocks});
            };
        w.FreeFrameBuffer = [](hvdv::DVPictureWriter* p) -> int32_t {
            ++Of(p)->freed;
            return 0;
        };
        w.Release = [](hvdv::DVPictureWriter*) {};
    }
    FakeWriter(const FakeWriter&) = delete;
    FakeWriter& operator=(const FakeWriter&) = delete;
    static FakeWriter* Of(hvdv::DVPictureWriter* p) { return reinterpret_cast<Holder*>(p)->owner; }
};

}  // namespace hvdv_test

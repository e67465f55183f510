// Coding the blocks of one stream on several threads, and the list of live
// streams that lets a failed library call clean up after itself.
//
// Blocks are independent, so a batch of them is coded by a small pool of
// workers, each with its own codec context, and written (or served) in
// stream order; the file is the same byte for byte as from one thread. A
// failure inside a worker is kept with its block and reported only when the
// stream reaches that block, with the same message one thread would give.
#include "lzx/blocks.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "lzx/codec.h"
#include "lzx/lzx.h"

namespace {

constexpr int kBatchPerThread = 4;  // blocks per worker and batch

// Workers that run one batch of jobs at a time; the calling thread is worker 0.
class Workers {
  public:
    Workers(int threads, Codec* callerCodec) : codecs_(static_cast<size_t>(threads)) {
        codecs_[0] = callerCodec;
        for (int i = 1; i < threads; ++i) {
            codecs_[i] = static_cast<Codec*>(std::calloc(1, sizeof(Codec)));
            if (codecs_[i] == nullptr) fatalError("Hopen: out of mem");
            owned_.push_back(codecs_[i]);
        }
        for (int i = 1; i < threads; ++i) threads_.emplace_back([this, i] { loop(i); });
    }
    ~Workers() {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        start_.notify_all();
        for (std::thread& t : threads_) t.join();
        for (Codec* c : owned_) std::free(c);
    }

    // Runs job(codec, i) for i in [0, jobs) and returns when all are done.
    void run(int jobs, const std::function<void(Codec&, int)>& job) {
        {
            std::lock_guard<std::mutex> lock(m_);
            job_ = &job;
            jobs_ = jobs;
            next_ = 0;
            pending_ = static_cast<int>(threads_.size());
            ++generation_;
        }
        start_.notify_all();
        work(0);
        std::unique_lock<std::mutex> lock(m_);
        done_.wait(lock, [this] { return pending_ == 0; });
    }

  private:
    void work(int id) {
        for (int i; (i = next_.fetch_add(1)) < jobs_;) (*job_)(*codecs_[id], i);
    }
    void loop(int id) {
        uint64_t seen = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(m_);
                start_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
            }
            work(id);
            std::lock_guard<std::mutex> lock(m_);
            if (--pending_ == 0) done_.notify_one();
        }
    }

    std::vector<Codec*> codecs_;
    std::vector<Codec*> owned_;
    std::vector<std::thread> threads_;
    std::mutex m_;
    std::condition_variable start_, done_;
    const std::function<void(Codec&, int)>* job_ = nullptr;
    int jobs_ = 0;
    std::atomic<int> next_{0};
    int pending_ = 0;
    uint64_t generation_ = 0;
    bool stop_ = false;
};

struct Slot {
    int64_t base;
    BlockHead head;
    uint8_t code[kCodecBufSize];
    uint8_t data[kBlockSize];
    std::string error;  // the failure of this block, reported when it is reached
};

// Runs `step` and keeps its failure in the slot instead of ending the run.
template <typename Step>
void catchInto(Slot& s, Step step) {
    FatalThrowScope scope;
    try {
        step();
    } catch (const std::exception& e) {
        s.error = e.what();
    }
}

}  // namespace

struct BlockPipe {
    BlockPipe(int threads, Codec* codec)
        : workers(threads, codec), slots(static_cast<size_t>(threads * kBatchPerThread)) {}
    Workers workers;
    std::vector<Slot> slots;
    int count = 0;   // slots in use
    int served = 0;  // read side: slots already handed out
};

BlockPipe* PipeCreate(HILE* h, int threads) {
    return new BlockPipe(threads, h->codec);
}

void PipeFree(BlockPipe* p) {
    delete p;
}

void PipePut(HILE* h) {
    BlockPipe& p = *h->pipe;
    std::memcpy(p.slots[p.count].data, h->buffer, kBlockSize);
    p.slots[p.count].error.clear();
    if (++p.count == static_cast<int>(p.slots.size())) PipeDrain(h);
}

void PipeDrain(HILE* h) {
    BlockPipe& p = *h->pipe;
    const uint32_t flags = h->header.flags;
    p.workers.run(p.count, [&](Codec& c, int i) {
        Slot& s = p.slots[i];
        catchInto(s, [&] {
            EncodeBlock(c, flags, s.data, s.head);
            std::memcpy(s.code, c.bitBuf, static_cast<size_t>(s.head.bits + 7) / 8);
        });
    });
    int count = p.count;
    p.count = 0;
    for (int i = 0; i < count; ++i) {
        if (!p.slots[i].error.empty()) fatalError("%s", p.slots[i].error.c_str());
        WriteBlock(h, p.slots[i].head, p.slots[i].code);
    }
}

void PipeFill(HILE* h, int64_t next) {
    BlockPipe& p = *h->pipe;
    if (p.served >= p.count || p.slots[p.served].base != next) {
        // Read a batch of blocks in file order; a block that cannot be read
        // ends the batch and fails when the stream reaches it.
        p.count = 0;
        p.served = 0;
        bool failed = false;
        for (int64_t base = next;
             !failed && p.count < static_cast<int>(p.slots.size()) && base < h->header.length;
             base += kBlockSize) {
            Slot& s = p.slots[p.count++];
            s.base = base;
            s.error.clear();
            catchInto(s, [&] {
                int32_t start = DoFtell(h->file);
                if (start >= h->header.indexOffset) fatalError("Hfill: missing block");
                ReadBlock(h, start, s.head, s.code);
            });
            failed = !s.error.empty();
        }
        const uint32_t flags = h->header.flags;
        p.workers.run(p.count, [&](Codec& c, int i) {
            Slot& s = p.slots[i];
            if (s.error.empty())
                catchInto(s, [&] { DecodeBlock(c, flags, s.head, s.code, s.data); });
        });
    }
    Slot& s = p.slots[p.served++];
    if (!s.error.empty()) {
        p.count = p.served = 0;
        fatalError("%s", s.error.c_str());
    }
    std::memcpy(h->buffer, s.data, kBlockSize);
}

void PipeReset(BlockPipe* p) {
    p->count = p->served = 0;
}

void HsetThreads(HILE* h, int threads) {
    if (threads <= 1 || h->pipe != nullptr) return;
    h->pipe = PipeCreate(h, threads);
}

// Live streams ---------------------------------------------------------------

namespace {

struct LiveStream {
    HILE* h;
    std::thread::id owner;
    uint64_t serial;
};

std::mutex gLiveLock;
std::vector<LiveStream> gLive;
uint64_t gLiveSerial = 0;

}  // namespace

void HileRegister(HILE* h) {
    std::lock_guard<std::mutex> lock(gLiveLock);
    gLive.push_back({h, std::this_thread::get_id(), gLiveSerial++});
}

void HileRelease(HILE* h) {
    {
        std::lock_guard<std::mutex> lock(gLiveLock);
        for (size_t i = 0; i < gLive.size(); ++i) {
            if (gLive[i].h == h) {
                gLive.erase(gLive.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
    PipeFree(h->pipe);
    std::free(h->codec);
    std::memset(h, 0, sizeof *h);
    std::free(h);
}

void Habandon(HILE* h) {
    if (h == nullptr) return;
    // Workers first: nothing may touch the stream while it is taken down.
    PipeFree(h->pipe);
    h->pipe = nullptr;
    // A writer's container and index are private files beside the target:
    // discarding them leaves the target as it was.
    if (h->mode == 1) {
        FileDiscard(h->indexFile);
        FileDiscard(h->file);
    } else {
        FileClose(h->file);
    }
    HileRelease(h);
}

uint64_t HileMark() {
    std::lock_guard<std::mutex> lock(gLiveLock);
    return gLiveSerial;
}

void HabandonSince(uint64_t mark) {
    std::vector<HILE*> mine;
    {
        std::lock_guard<std::mutex> lock(gLiveLock);
        for (const LiveStream& s : gLive)
            if (s.serial >= mark && s.owner == std::this_thread::get_id()) mine.push_back(s.h);
    }
    for (HILE* h : mine) Habandon(h);
}

bool HileIsLive(const HILE* h) {
    std::lock_guard<std::mutex> lock(gLiveLock);
    for (const LiveStream& s : gLive)
        if (s.h == h) return true;
    return false;
}

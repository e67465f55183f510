// Coding the blocks of one stream on several threads, and the list of live
// streams that lets a failed library call clean up after itself.
//
// Blocks are independent, so a batch of them is coded by a small pool of
// workers, each with its own codec context, and written (or served) in
// stream order; the file is the same byte for byte as from one thread. A
// failure inside a worker is kept with its block and reported only when the
// stream reaches that block, with the same message one thread would give.
#include "lzx/blocks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "base/os.h"
#include "lzx/codec.h"
#include "lzx/lzx.h"

namespace {

// Blocks per worker and batch: a stream starts with small batches, so that
// a short one soon has both threads busy, and doubles them up to the most.
// Each batch ends with the threads waiting for each other; at 16 blocks a
// worker (32 KiB of slot each) those waits cost a few per cent of a long
// stream, at 8 about twice as much.
constexpr int kBatchPerThreadFirst = 2;
constexpr int kBatchPerThread = 16;

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

    // Starts job(codec, i) for i in [0, jobs) on the other threads and
    // returns at once; finish() joins in and waits for the rest.
    void start(int jobs, std::function<void(Codec&, int)> job) {
        keepOffCaller();
        {
            std::lock_guard<std::mutex> lock(m_);
            job_ = std::move(job);
            jobs_ = jobs;
            next_ = 0;
            pending_ = static_cast<int>(threads_.size());
            ++generation_;
        }
        start_.notify_all();
    }
    void finish() {
        work(0);
        spinWhile([this] { return pending_.load(std::memory_order_acquire) != 0; });
        std::unique_lock<std::mutex> lock(m_);
        done_.wait(lock, [this] { return pending_ == 0; });
    }
    // Runs the jobs on every thread, this one too, and returns when all are done.
    void run(int jobs, std::function<void(Codec&, int)> job) {
        start(jobs, std::move(job));
        finish();
    }

  private:
    // The caller is busy while the workers run: it reads, writes and takes
    // jobs itself. A worker woken onto its processor would only wait for it,
    // and some systems do place a woken thread there rather than on an idle
    // processor (virtual machines whose idle processors look taken), so the
    // workers are kept off the caller's processor, following it when it moves.
    void keepOffCaller() {
        int cpu = platform::currentCpu();
        if (cpu == callerCpu_) return;
        callerCpu_ = cpu;
        for (std::thread& t : threads_) platform::keepThreadOff(t, cpu);
    }
    // Batches follow each other closely: a short spin before sleeping spares
    // a sleeping core's wake-up, which on a virtual machine can take longer
    // than coding a block.
    template <typename Cond>
    static void spinWhile(Cond cond) {
        auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
        for (int k = 0; cond(); ++k) {
            if ((k & 63) == 63 && std::chrono::steady_clock::now() > until) return;
            std::this_thread::yield();
        }
    }
    void work(int id) {
        for (int i; (i = next_.fetch_add(1)) < jobs_;) job_(*codecs_[id], i);
    }
    void loop(int id) {
        uint64_t seen = 0;
        for (;;) {
            spinWhile([&] { return generation_.load(std::memory_order_acquire) == seen; });
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
    std::function<void(Codec&, int)> job_;
    int jobs_ = 0;
    std::atomic<int> next_{0};
    std::atomic<int> pending_{0};
    std::atomic<uint64_t> generation_{0};
    bool stop_ = false;
    int callerCpu_ = -1;
};

struct Slot {
    int64_t base;
    BlockHead head;
    uint8_t code[kCodecBufSize];
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

// A pipe holds two batches of blocks. While the stream works with one (the
// reader serves its blocks, the writer fills it), the workers code the other
// in the background: reading decodes a batch ahead, writing codes the last
// full batch while the next one fills. The caller joins the workers when it
// has to wait for them.
struct Batch {
    // Slots are left uninitialised: memory a short stream never reaches is
    // never touched. Their blocks lie back to back, so a reader can take a
    // run of them at once (PipeNextBeside).
    explicit Batch(int size)
        : slots(new Slot[static_cast<size_t>(size)]),
          data(new uint8_t[static_cast<size_t>(size) * kBlockSize]) {}
    std::unique_ptr<Slot[]> slots;
    std::unique_ptr<uint8_t[]> data;
    uint8_t* block(int i) const { return data.get() + static_cast<size_t>(i) * kBlockSize; }
    int count = 0;   // slots in use
    int served = 0;  // read side: slots already handed out
    // Read side: the slots read so far, with kReadDone once reading has
    // ended; a batch may be decoded while it is still being read.
    static constexpr int kReadDone = 1 << 30;
    std::atomic<int> ready{0};
    // Read side: reading stopped at a block that could not be read. Set by
    // the reading thread only, so it may look before the batch is decoded.
    bool readFailed = false;
    // Sleeping until `ready` moves takes a mutex and a condition variable:
    // std::atomic's wait can miss a notify where the system gives it no
    // futex (MinGW's library, seen as a hang under Wine).
    std::mutex readyMutex;
    std::condition_variable readyMoved;
    void publish(int value) {
        ready.store(value, std::memory_order_release);
        { std::lock_guard<std::mutex> lock(readyMutex); }
        readyMoved.notify_all();
    }
    void waitPast(int seen) {
        std::unique_lock<std::mutex> lock(readyMutex);
        readyMoved.wait(lock, [&] { return ready.load(std::memory_order_acquire) != seen; });
    }
};

struct BlockPipe {
    BlockPipe(int threads, Codec* codec)
        : workers(threads, codec),
          batches{Batch(threads * kBatchPerThread), Batch(threads * kBatchPerThread)},
          first(threads * kBatchPerThreadFirst),
          size(first),
          most(threads * kBatchPerThread) {}
    ~BlockPipe() { settle(); }
    // The size of the next batch.
    int grow() {
        int now = size;
        size = std::min(2 * size, most);
        return now;
    }
    // Codes `jobs` slots of a batch in the background.
    void launch(int jobs, std::function<void(Codec&, int)> job) {
        workers.start(jobs, std::move(job));
        busy = true;
    }
    // Waits for the background batch, if any.
    void settle() {
        if (!busy) return;
        workers.finish();
        busy = false;
    }
    Batch& current() { return batches[cur]; }
    Batch& other() { return batches[cur ^ 1]; }

    Workers workers;
    Batch batches[2];
    int first;          // slots of the first batch, and of the first after a seek
    int size;           // slots of the next batch
    int most;           // slots of a batch at the most
    int cur = 0;        // the batch the stream works with
    bool busy = false;  // the other batch is being coded in the background
    int filling = 0;    // write side: slots of the batch being filled
};

namespace {

// Reads the blocks from stream offset `next` on into `b`, in file order from
// where the file stands; a block that cannot be read ends the batch and
// fails when the stream reaches it.
void readBatch(HILE* h, Batch& b, int size, int64_t next) {
    b.count = 0;
    b.served = 0;
    b.ready.store(0, std::memory_order_relaxed);
    bool failed = false;
    for (int64_t base = next; !failed && b.count < size && base < h->header.length;
         base += kBlockSize) {
        Slot& s = b.slots[b.count++];
        s.base = base;
        s.error.clear();
        catchInto(s, [&] {
            int32_t start = HfileTell(h);
            if (start >= h->header.indexOffset) fatalError("Hfill: missing block");
            ReadBlock(h, start, s.head, s.code);
        });
        failed = !s.error.empty();
        b.publish(b.count);
    }
    b.readFailed = failed;
    b.publish(b.count | Batch::kReadDone);
}

// The stream offset of the block after batch `b` (which holds blocks).
int64_t after(const Batch& b) {
    return b.slots[b.count - 1].base + kBlockSize;
}

// Whether the stream goes on after batch `b` (as read; decoding may still run).
bool continuesAfter(const HILE* h, const Batch& b) {
    return b.count > 0 && !b.readFailed && after(b) < h->header.length;
}

// Decodes slot i once it has been read; a slot past the end of the batch
// is no job.
std::function<void(Codec&, int)> decodeJob(Batch& b, uint32_t flags) {
    return [&b, flags](Codec& c, int i) {
        // A slot is read in microseconds: spin briefly, then sleep until
        // the reader moves on (it may have lost its core).
        for (int spins = 0;; ++spins) {
            int ready = b.ready.load(std::memory_order_acquire);
            if (i < (ready & ~Batch::kReadDone)) break;
            if (ready & Batch::kReadDone) return;
            if (spins < 64) {
                std::this_thread::yield();
            } else {
                b.waitPast(ready);
            }
        }
        Slot& s = b.slots[i];
        if (s.error.empty())
            catchInto(s, [&] { DecodeBlock(c, flags, s.head, s.code, b.block(i)); });
    };
}

std::function<void(Codec&, int)> encodeJob(Batch& b, uint32_t flags) {
    return [&b, flags](Codec& c, int i) {
        Slot& s = b.slots[i];
        catchInto(s, [&] {
            EncodeBlock(c, flags, b.block(i), s.head);
            std::memcpy(s.code, c.bitBuf, static_cast<size_t>(s.head.bits + 7) / 8);
        });
    };
}

// Writes a coded batch in stream order, or ends with its first failure.
void writeBatch(HILE* h, Batch& b) {
    int count = b.count;
    b.count = 0;
    for (int i = 0; i < count; ++i) {
        if (!b.slots[i].error.empty()) fatalError("%s", b.slots[i].error.c_str());
        WriteBlock(h, b.slots[i].head, b.slots[i].code);
    }
}

}  // namespace

BlockPipe* PipeCreate(HILE* h, int threads) {
    return new BlockPipe(threads, h->codec);
}

void PipeFree(BlockPipe* p) {
    delete p;
}

void PipePut(HILE* h) {
    BlockPipe& p = *h->pipe;
    Batch& b = p.current();
    if (p.filling == 0) p.filling = p.grow();
    // The stream wrote the block straight into its slot.
    b.slots[b.count].error.clear();
    if (++b.count < p.filling) {
        h->block = b.block(b.count);
        return;
    }
    p.filling = 0;
    // The batch is full: it is coded in the background while the one
    // before it is written out, and that one's slots fill next.
    p.settle();
    p.launch(b.count, encodeJob(b, EncodeFlags(h)));
    p.cur ^= 1;
    if (p.current().count > 0) writeBatch(h, p.current());
    h->block = p.current().block(0);
}

void PipeDrain(HILE* h) {
    BlockPipe& p = *h->pipe;
    p.settle();
    // The last batch is coded while the one before it is written.
    Batch& last = p.current();
    if (last.count > 0) {
        p.launch(last.count, encodeJob(last, EncodeFlags(h)));
    }
    if (p.other().count > 0) writeBatch(h, p.other());
    p.settle();
    if (last.count > 0) writeBatch(h, last);
}

void PipeFill(HILE* h, int64_t next) {
    BlockPipe& p = *h->pipe;
    const uint32_t flags = h->header.flags;
    Batch* b = &p.current();
    if (b->served >= b->count || b->slots[b->served].base != next) {
        // The batch after the one decoding ahead goes into this batch's
        // slots once they are all served. It is read before waiting for that
        // decoding, so the workers find it ready when they get to it.
        Batch& ahead = p.other();
        const bool inOrder = ahead.count > 0 && ahead.slots[0].base == next;
        bool readAhead = false;
        if (inOrder && b->served >= b->count && continuesAfter(h, ahead)) {
            readBatch(h, *b, p.grow(), after(ahead));
            readAhead = true;
        }
        p.settle();
        if (inOrder) {
            p.cur ^= 1;
        } else {
            readBatch(h, *b, p.grow(), next);
            p.workers.run(b->count, decodeJob(*b, flags));
        }
        b = &p.current();
        if (b->count == 0) return;  // past the last block: nothing to serve
        // The next batch is decoded while this one is served, unless this
        // one ends the stream or its reading stopped at a block that could
        // not be read. Its decoding starts with its first block, while the
        // rest is read (if it was not read ahead already).
        Batch& following = p.other();
        if (readAhead) {
            p.launch(following.count, decodeJob(following, flags));
        } else {
            following.count = following.served = 0;
            following.ready.store(0, std::memory_order_relaxed);
            if (continuesAfter(h, *b)) {
                int size = p.grow();
                p.launch(size, decodeJob(following, flags));
                readBatch(h, following, size, after(*b));
            }
        }
    }
    const int i = b->served++;
    if (!b->slots[i].error.empty()) {
        b->count = b->served = 0;
        fatalError("%s", b->slots[i].error.c_str());
    }
    // Served from the batch: the block stays untouched until this batch has
    // been served and the stream asks for the block after it.
    h->block = b->block(i);
}

bool PipeNextBeside(const HILE* h) {
    const Batch& b = h->pipe->batches[h->pipe->cur];
    if (b.served >= b.count) return false;
    const Slot& s = b.slots[b.served];
    return s.base == static_cast<int64_t>(h->base) + kBlockSize && s.error.empty() &&
           b.block(b.served) == h->block + kBlockSize;
}

void PipeReset(BlockPipe* p) {
    p->settle();
    for (Batch& b : p->batches) b.count = b.served = 0;
    p->size = p->first;
}

void HsetThreads(HILE* h, int threads) {
    if (threads <= 1 || h->pipe != nullptr) return;
    h->pipe = PipeCreate(h, threads);
    // A writing stream fills the pipe's slots directly, from what it holds.
    if (h->mode == 1) {
        uint8_t* first = h->pipe->current().block(0);
        std::memcpy(first, h->block, static_cast<size_t>(h->position));
        h->block = first;
    }
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
    std::free(h->cache);
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

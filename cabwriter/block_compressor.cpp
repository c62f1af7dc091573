#include "cabwriter/block_compressor.h"

#include <new>

#include "cabwriter/cab_format.h"

namespace cab {
namespace {

constexpr std::uint32_t kRecordCapacity = kDataHeaderSize + mszipBound(kBlockSize);
constexpr std::uint32_t kSlotBytes = kBlockSize + kRecordCapacity;

struct ZlibMemory {
  BlockCompressor::Allocate allocate;
  BlockCompressor::Release release;
};

void* zlibAllocate(void* context, unsigned items, unsigned size) {
  std::uint64_t bytes = std::uint64_t{items} * size;
  if (bytes > 0xFFFFFFFFu) return nullptr;
  return static_cast<ZlibMemory*>(context)->allocate(static_cast<std::uint32_t>(bytes));
}

void zlibRelease(void* context, void* block) { static_cast<ZlibMemory*>(context)->release(block); }

}  // namespace

BlockCompressor::BlockCompressor(Allocate allocate, Release release, unsigned threads)
    : allocate_(allocate),
      release_(release),
      threads_(threads < 1             ? 1
               : threads > kMaxThreads ? kMaxThreads
                                       : threads),
      slotCount_(2 * threads_ + 2) {}

BlockCompressor::~BlockCompressor() {
  discard();
  if (encoders_) {
    for (unsigned i = 0; i < threads_; ++i) encoders_[i].~MszipEncoder();
    release_(reinterpret_cast<ZlibMemory*>(encoders_) - 1);
  }
  if (slots_) {
    release_(slots_[0].input);
    release_(slots_);
  }
}

bool BlockCompressor::prepare() {
  if (!encoders_) {
    // The encoders' memory holds the callbacks zlib's allocation reaches them through.
    void* memory =
        allocate_(static_cast<std::uint32_t>(sizeof(ZlibMemory) + sizeof(MszipEncoder) * threads_));
    if (!memory) return false;
    auto* zlibMemory = new (memory) ZlibMemory{allocate_, release_};
    encoders_ = reinterpret_cast<MszipEncoder*>(zlibMemory + 1);
    for (unsigned i = 0; i < threads_; ++i) {
      new (&encoders_[i]) MszipEncoder(zlibAllocate, zlibRelease, zlibMemory);
    }
  }
  // Fewer threads when memory runs short for the encoders of all of them.
  while (encodersStarted_ < threads_ && encoders_[encodersStarted_].start()) ++encodersStarted_;
  if (encodersStarted_ == 0) return false;
  if (!slots_) {
    auto* slots =
        static_cast<Slot*>(allocate_(static_cast<std::uint32_t>(sizeof(Slot) * slotCount_)));
    if (!slots) return false;
    auto* buffers = static_cast<std::uint8_t*>(allocate_(kSlotBytes * slotCount_));
    if (!buffers) {
      release_(slots);
      return false;
    }
    for (std::uint32_t i = 0; i < slotCount_; ++i) {
      new (&slots[i]) Slot{buffers + std::size_t{i} * kSlotBytes,
                           buffers + std::size_t{i} * kSlotBytes + kBlockSize,
                           nullptr,
                           0,
                           0,
                           false};
    }
    slots_ = slots;
  }
  return true;
}

std::uint8_t* BlockCompressor::input() { return slot(submitted_).input; }

void BlockCompressor::submit(std::uint32_t size, bool followsPrevious) {
  Slot& next = slot(submitted_);
  next.size = size;
  next.dictionary = followsPrevious && submitted_ > 0 ? slot(submitted_ - 1).input : nullptr;
  next.done = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++submitted_;
  }
  if (running_ > 0) {
    work_.notify_one();
  } else if (!triedThreads_ && encodersStarted_ > 1 && pending() >= 2) {
    // A second block waiting: worth the threads. A call that hands over a single block
    // compresses it on the calling thread.
    startThreads();
  }
}

CompressedBlock BlockCompressor::oldest() {
  Slot& first = slot(retired_);
  if (running_ == 0) {
    // No worker: the oldest block not compressed is also the oldest not taken.
    if (!first.done) {
      ++taken_;
      compress(first, encoders_[0]);
      first.done = true;
    }
  } else {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&first] { return first.done; });
  }
  return {first.record, first.recordSize, first.recordSize ? first.recordSize - kDataHeaderSize : 0,
          first.size};
}

void BlockCompressor::dropOldest() { ++retired_; }

void BlockCompressor::finish() {
  if (running_ > 0) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    work_.notify_all();
    for (unsigned i = 0; i < running_; ++i) workers_[i].join();
    running_ = 0;
    stopping_ = false;
  }
  triedThreads_ = false;
}

void BlockCompressor::discard() {
  finish();
  taken_ = submitted_;
  retired_ = submitted_;
}

void BlockCompressor::compress(Slot& block, MszipEncoder& encoder) {
  std::uint8_t* data = block.record + kDataHeaderSize;
  std::uint32_t size = encoder.encode(block.input, block.size, block.dictionary,
                                      block.dictionary ? kBlockSize : 0, data);
  if (size == 0) {
    block.recordSize = 0;
    return;
  }
  put16(block.record + 4, size);
  put16(block.record + 6, block.size);
  put32(block.record, dataBlockChecksum(block.record, data, size));
  block.recordSize = kDataHeaderSize + size;
}

void BlockCompressor::startThreads() {
  triedThreads_ = true;
  for (unsigned i = 0; i < encodersStarted_; ++i) {
    // Fewer threads (or none: the calling thread then compresses) when the system has no more.
    try {
      workers_[i] = std::thread(&BlockCompressor::work, this, i);
    } catch (...) {
      break;
    }
    ++running_;
  }
}

void BlockCompressor::work(unsigned index) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (taken_ < submitted_) {
      Slot& block = slot(taken_++);
      lock.unlock();
      compress(block, encoders_[index]);
      lock.lock();
      block.done = true;
      done_.notify_one();
    } else if (stopping_) {
      return;
    } else {
      work_.wait(lock);
    }
  }
}

}  // namespace cab

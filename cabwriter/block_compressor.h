// Compressing the blocks of a folder on several threads while the writer reads the next ones.
//
// The writer fills blocks one after the other into a small ring of slots and hands each over
// when it is full (or when its folder ends). Worker threads compress the blocks handed over, each
// with the block before it in the same folder as its dictionary, and the writer takes the
// finished records back in the order it handed the blocks over. A block's bytes depend only on
// its data and its dictionary, so the records do not depend on the number of threads, nor on
// which thread compressed which block.
//
// The ring holds two blocks per thread and two more, whatever the size of the files: a slot is
// filled again only once its block and the block after it (which reads it as its dictionary)
// have been taken back. Everything the ring and the encoders need is allocated by prepare(), on
// the calling thread, through the client's allocation callback; the workers allocate nothing and
// call no callback.
//
// Threads are started when the first block of a call is handed over and ended by finish() or
// discard(), which the writer calls before each of its operations returns: no thread outlives
// the operation that started it. When no thread can be started the blocks are compressed on the
// calling thread, with the same result.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "cabwriter/mszip.h"

namespace cab {

// A compressed block: its CFDATA record (8-byte header and data), ready to be written.
struct CompressedBlock {
  const std::uint8_t* record;
  std::uint32_t recordSize;    // 0 when the compressor failed
  std::uint32_t compressed;    // bytes of data after the header
  std::uint32_t uncompressed;  // bytes of the block before compression
};

class BlockCompressor {
 public:
  static constexpr unsigned kMaxThreads = 64;

  using Allocate = void* (*)(std::uint32_t size);
  using Release = void (*)(void* block);

  // `threads` (1 to kMaxThreads; other values are brought into that range) compress at once.
  BlockCompressor(Allocate allocate, Release release, unsigned threads);
  // Ends the threads (after the blocks they hold) and releases the memory.
  ~BlockCompressor();
  BlockCompressor(const BlockCompressor&) = delete;
  BlockCompressor& operator=(const BlockCompressor&) = delete;

  // Allocates the ring and the encoders; false when memory is short (then it may be called
  // again). Nothing else may be called before it has succeeded.
  bool prepare();

  // The bytes of the block being filled: kBlockSize of them. Not to be written while full().
  std::uint8_t* input();
  // Hands over the block being filled, `size` bytes of input(). `followsPrevious`: the block
  // handed over before it is the one before it in the same folder, a full block, which becomes
  // its dictionary.
  void submit(std::uint32_t size, bool followsPrevious);
  // True when the oldest block must be taken back before input() may be written.
  bool full() const { return pending() + 2 > slotCount_; }
  // Blocks handed over and not yet taken back.
  std::uint32_t pending() const { return static_cast<std::uint32_t>(submitted_ - retired_); }

  // Waits until the oldest pending block (there must be one) is compressed and gives it; the
  // record stays valid until dropOldest().
  CompressedBlock oldest();
  void dropOldest();

  // Ends the threads once every pending block is compressed; the blocks stay pending.
  void finish();
  // As finish(), then forgets every pending block.
  void discard();

 private:
  struct Slot {
    std::uint8_t* input;
    std::uint8_t* record;
    const std::uint8_t* dictionary;
    std::uint32_t size;
    std::uint32_t recordSize;
    bool done;
  };

  Slot& slot(std::uint64_t block) { return slots_[block % slotCount_]; }
  void compress(Slot& slot, MszipEncoder& encoder);
  void startThreads();
  void work(unsigned index);

  Allocate allocate_;
  Release release_;
  unsigned threads_;
  std::uint32_t slotCount_;
  Slot* slots_ = nullptr;
  MszipEncoder* encoders_ = nullptr;  // one per thread; the first also serves the caller
  unsigned encodersStarted_ = 0;

  // Blocks handed over, taken by a worker, and taken back, counted from the first. Guarded by
  // mutex_ where a worker reads them.
  std::uint64_t submitted_ = 0;
  std::uint64_t taken_ = 0;
  std::uint64_t retired_ = 0;

  std::mutex mutex_;
  std::condition_variable work_;  // a block was handed over, or the workers are to stop
  std::condition_variable done_;  // a block was compressed
  bool stopping_ = false;
  bool triedThreads_ = false;  // threads were started (or could not be) in this operation
  unsigned running_ = 0;
  std::thread workers_[kMaxThreads];
};

}  // namespace cab

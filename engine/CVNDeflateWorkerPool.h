// The process's threads that compress the blocks of large entries, and the
// fixed set of block buffers they work in. One pool serves every running job,
// so that jobs at once neither oversubscribe the cores nor hold more memory
// than the pool's blocks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CVNDeflateWorkerPool {
 public:
  // Room before each block's data for the bytes that precede it: deflate's window.
  static constexpr size_t kWindowSize = 32 * 1024;
  static constexpr size_t kDefaultBlockSize = 256 * 1024;

  // One block of an entry on its way through a worker. The caller fills the
  // fields above the line, the work fills outputLength or error.
  class Block {
   public:
    // kWindowSize bytes of room, then blockSize() bytes of data.
    uint8_t* window() { return _input.get(); }
    uint8_t* data() { return _input.get() + kWindowSize; }
    size_t dictionaryLength = 0;  // the bytes just before data() that it may refer to
    size_t length = 0;            // of data()
    bool last = false;
    int level = 0;
    // ---
    uint8_t* output() { return _output.get(); }
    size_t outputCapacity() const { return _outputCapacity; }
    size_t outputLength = 0;
    std::exception_ptr error;

   private:
    friend class CVNDeflateWorkerPool;
    enum class State { Free, Held, Queued, Running, Done };
    std::unique_ptr<uint8_t[]> _input;
    std::unique_ptr<uint8_t[]> _output;
    size_t _outputCapacity = 0;
    State _state = State::Free;
    Block* _next = nullptr;
    void (*_work)(Block&) = nullptr;
  };
  // Runs on a worker; what it raises lands in the block's error.
  using Work = void (*)(Block&);

  // The process's pool: a thread per core. Threads and blocks come with the
  // first block asked for and stay for the process's life.
  static CVNDeflateWorkerPool& shared();

  // `threadCount` 0 means one per core.
  explicit CVNDeflateWorkerPool(unsigned threadCount = 0, size_t blockSize = kDefaultBlockSize);
  // Stops the threads; every block must have been released.
  ~CVNDeflateWorkerPool();
  CVNDeflateWorkerPool(const CVNDeflateWorkerPool&) = delete;
  CVNDeflateWorkerPool& operator=(const CVNDeflateWorkerPool&) = delete;

  unsigned threadCount() const;
  size_t blockSize() const;
  // Two per thread and two more: enough to keep every thread busy while the
  // caller reads ahead and writes behind.
  size_t blockCount() const;
  // Blocks nobody holds; all of them when the pool is idle.
  size_t freeBlockCount() const;
  // Change the pool while no block is held (tests and benchmarks); raise
  // RVInternalInconsistencyException otherwise.
  void setThreadCount(unsigned threadCount);
  void setBlockSize(size_t blockSize);

  // A free block, or null when none is free or a caller is waiting for one in
  // acquire(), which then goes first. Raises RVOutOfMemoryException when the
  // blocks cannot be made.
  Block* tryAcquire();
  // A free block, waiting up to `timeout`; null when none came.
  Block* acquire(std::chrono::milliseconds timeout);
  // Hands a held block to the workers, which take blocks in the order given.
  void submit(Block* block, Work work);
  // Whether the work on a submitted block has ended.
  bool isDone(Block* block);
  // Waits until the work on a submitted block has ended.
  void wait(Block* block);
  // Takes a submitted block back: before a worker started on it, or after it
  // finished. Never runs its work afterwards.
  void withdraw(Block* block);
  // Gives a held block, submitted or not, back to the pool (after wait or withdraw).
  void release(Block* block);

 private:
  void startLocked();
  void stopLocked(std::unique_lock<std::mutex>& lock);
  void run();

  mutable std::mutex _mutex;
  std::condition_variable _workReady;  // a block queued, or stopping
  std::condition_variable _workDone;   // a block's work ended
  std::condition_variable _blockFree;  // a block released
  unsigned _threadCount;
  size_t _blockSize;
  bool _started = false;
  bool _stopping = false;
  std::vector<std::thread> _threads;
  std::unique_ptr<Block[]> _blocks;
  size_t _blockCount = 0;
  size_t _freeCount = 0;
  size_t _waitingCount = 0;
  Block* _free = nullptr;
  Block* _queueHead = nullptr;
  Block* _queueTail = nullptr;
};

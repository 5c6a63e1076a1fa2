#include "engine/CVNDeflateWorkerPool.h"

#include <new>

#include "engine/io/RVException.h"

namespace {

unsigned coreCount() {
  unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? n : 1;
}

// What deflate can make of `length` bytes at worst, with room for a sync flush
// and a final empty block: zlib's conservative bound and some.
size_t outputBound(size_t length) { return length + (length >> 3) + (length >> 6) + 256; }

}  // namespace

CVNDeflateWorkerPool& CVNDeflateWorkerPool::shared() {
  // Never destroyed: a job may still be running when the process exits.
  static CVNDeflateWorkerPool* pool = new CVNDeflateWorkerPool();
  return *pool;
}

CVNDeflateWorkerPool::CVNDeflateWorkerPool(unsigned threadCount, size_t blockSize)
    : _threadCount(threadCount > 0 ? threadCount : coreCount()), _blockSize(blockSize) {
  RVParameterAssert(blockSize >= kWindowSize);
}

CVNDeflateWorkerPool::~CVNDeflateWorkerPool() {
  std::unique_lock lock(_mutex);
  stopLocked(lock);
}

unsigned CVNDeflateWorkerPool::threadCount() const {
  std::lock_guard lock(_mutex);
  return _threadCount;
}

size_t CVNDeflateWorkerPool::blockSize() const {
  std::lock_guard lock(_mutex);
  return _blockSize;
}

size_t CVNDeflateWorkerPool::blockCount() const {
  std::lock_guard lock(_mutex);
  return 2 * size_t{_threadCount} + 2;
}

size_t CVNDeflateWorkerPool::freeBlockCount() const {
  std::lock_guard lock(_mutex);
  return _started ? _freeCount : 2 * size_t{_threadCount} + 2;
}

void CVNDeflateWorkerPool::setThreadCount(unsigned threadCount) {
  std::unique_lock lock(_mutex);
  stopLocked(lock);
  _threadCount = threadCount > 0 ? threadCount : coreCount();
}

void CVNDeflateWorkerPool::setBlockSize(size_t blockSize) {
  RVParameterAssert(blockSize >= kWindowSize);
  std::unique_lock lock(_mutex);
  stopLocked(lock);
  _blockSize = blockSize;
}

void CVNDeflateWorkerPool::startLocked() {
  if (_started) return;
  const size_t count = 2 * size_t{_threadCount} + 2;
  try {
    // Left uninitialised: pages nobody writes cost no memory.
    auto blocks = std::make_unique<Block[]>(count);
    for (size_t i = 0; i < count; ++i) {
      blocks[i]._input.reset(new uint8_t[kWindowSize + _blockSize]);
      blocks[i]._outputCapacity = outputBound(_blockSize);
      blocks[i]._output.reset(new uint8_t[blocks[i]._outputCapacity]);
    }
    _blocks = std::move(blocks);
  } catch (const std::bad_alloc&) {
    RVRaiseOutOfMemory();
  }
  _blockCount = count;
  _free = nullptr;
  for (size_t i = count; i-- > 0;) {
    _blocks[i]._next = _free;
    _free = &_blocks[i];
  }
  _freeCount = count;
  _stopping = false;
  _threads.reserve(_threadCount);
  for (unsigned i = 0; i < _threadCount; ++i) _threads.emplace_back([this] { run(); });
  _started = true;
}

void CVNDeflateWorkerPool::stopLocked(std::unique_lock<std::mutex>& lock) {
  if (!_started) return;
  RVParameterAssert(_freeCount == _blockCount);
  _stopping = true;
  _workReady.notify_all();
  std::vector<std::thread> threads = std::move(_threads);
  _threads.clear();
  lock.unlock();
  for (std::thread& thread : threads) thread.join();
  lock.lock();
  _blocks.reset();
  _blockCount = _freeCount = 0;
  _free = nullptr;
  _started = false;
}

CVNDeflateWorkerPool::Block* CVNDeflateWorkerPool::tryAcquire() {
  std::lock_guard lock(_mutex);
  startLocked();
  if (!_free || _waitingCount > 0) return nullptr;
  Block* block = _free;
  _free = block->_next;
  --_freeCount;
  block->_next = nullptr;
  block->_state = Block::State::Held;
  return block;
}

CVNDeflateWorkerPool::Block* CVNDeflateWorkerPool::acquire(std::chrono::milliseconds timeout) {
  std::unique_lock lock(_mutex);
  startLocked();
  ++_waitingCount;
  bool got = _blockFree.wait_for(lock, timeout, [this] { return _free != nullptr; });
  --_waitingCount;
  if (!got) return nullptr;
  Block* block = _free;
  _free = block->_next;
  --_freeCount;
  block->_next = nullptr;
  block->_state = Block::State::Held;
  // Another waiter may take the next one.
  if (_free) _blockFree.notify_one();
  return block;
}

void CVNDeflateWorkerPool::submit(Block* block, Work work) {
  std::lock_guard lock(_mutex);
  RVParameterAssert(block->_state == Block::State::Held);
  block->_work = work;
  block->outputLength = 0;
  block->error = nullptr;
  block->_state = Block::State::Queued;
  block->_next = nullptr;
  if (_queueTail) {
    _queueTail->_next = block;
  } else {
    _queueHead = block;
  }
  _queueTail = block;
  _workReady.notify_one();
}

bool CVNDeflateWorkerPool::isDone(Block* block) {
  std::lock_guard lock(_mutex);
  return block->_state == Block::State::Done;
}

void CVNDeflateWorkerPool::wait(Block* block) {
  std::unique_lock lock(_mutex);
  _workDone.wait(lock, [block] { return block->_state == Block::State::Done; });
}

void CVNDeflateWorkerPool::withdraw(Block* block) {
  std::unique_lock lock(_mutex);
  if (block->_state == Block::State::Queued) {
    Block* previous = nullptr;
    for (Block* b = _queueHead; b; previous = b, b = b->_next) {
      if (b != block) continue;
      (previous ? previous->_next : _queueHead) = b->_next;
      if (_queueTail == b) _queueTail = previous;
      break;
    }
    block->_next = nullptr;
    block->_state = Block::State::Held;
    return;
  }
  _workDone.wait(lock, [block] { return block->_state != Block::State::Running; });
}

void CVNDeflateWorkerPool::release(Block* block) {
  std::lock_guard lock(_mutex);
  RVParameterAssert(block->_state == Block::State::Held || block->_state == Block::State::Done);
  block->dictionaryLength = block->length = block->outputLength = 0;
  block->last = false;
  block->error = nullptr;
  block->_work = nullptr;
  block->_state = Block::State::Free;
  block->_next = _free;
  _free = block;
  ++_freeCount;
  _blockFree.notify_one();
}

void CVNDeflateWorkerPool::run() {
  std::unique_lock lock(_mutex);
  for (;;) {
    _workReady.wait(lock, [this] { return _stopping || _queueHead; });
    if (_stopping) return;
    Block* block = _queueHead;
    _queueHead = block->_next;
    if (!_queueHead) _queueTail = nullptr;
    block->_next = nullptr;
    block->_state = Block::State::Running;
    lock.unlock();
    try {
      block->_work(*block);
    } catch (...) {
      block->error = std::current_exception();
    }
    lock.lock();
    block->_state = Block::State::Done;
    _workDone.notify_all();
  }
}

// A growable array of plain values on pages of its own, for a job's log, which
// may grow to millions of rows. Growing has the kernel extend or move the pages
// (mremap) instead of copying them into new ones, and freed pages go back to
// the system at once: a grown log leaves no free memory behind in the heap,
// and every page is written once.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

template <typename T>
class CVNPagedArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  CVNPagedArray() = default;
  ~CVNPagedArray() { clear(0); }
  CVNPagedArray(CVNPagedArray&& other) noexcept { swap(other); }
  CVNPagedArray& operator=(CVNPagedArray&& other) noexcept {
    CVNPagedArray(std::move(other)).swap(*this);
    return *this;
  }
  CVNPagedArray(const CVNPagedArray&) = delete;
  CVNPagedArray& operator=(const CVNPagedArray&) = delete;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const T* data() const { return values_; }
  const T& operator[](size_t index) const { return values_[index]; }
  const T* begin() const { return values_; }
  const T* end() const { return values_ + size_; }

  // Raise std::bad_alloc when the system has no more pages.
  void push_back(const T& value) {
    reserve(size_ + 1);
    values_[size_++] = value;
  }
  void append(const T* values, size_t count) {
    if (count == 0) return;
    reserve(size_ + count);
    std::memcpy(values_ + size_, values, count * sizeof(T));
    size_ += count;
  }

  // Empties the array, keeping at most `keptBytes` of its pages (already
  // written, so the next values cost no page faults) and giving back the rest.
  void clear(size_t keptBytes) noexcept {
    size_ = 0;
    keptBytes = keptBytes / pageSize() * pageSize();
    if (bytes_ <= keptBytes) return;
    ::munmap(reinterpret_cast<char*>(values_) + keptBytes, bytes_ - keptBytes);
    bytes_ = keptBytes;
    if (bytes_ == 0) values_ = nullptr;
  }

  void swap(CVNPagedArray& other) noexcept {
    std::swap(values_, other.values_);
    std::swap(size_, other.size_);
    std::swap(bytes_, other.bytes_);
  }

 private:
  static size_t pageSize() {
    static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return size;
  }

  void reserve(size_t count) {
    if (count > std::numeric_limits<size_t>::max() / sizeof(T) / 2) throw std::bad_alloc();
    const size_t needed = count * sizeof(T);
    if (needed <= bytes_) return;
    // Doubling keeps the number of moves small; pages never written cost nothing.
    size_t bytes = std::max({needed, bytes_ * 2, size_t{64} * 1024});
    bytes = (bytes + pageSize() - 1) / pageSize() * pageSize();
    void* pages = values_ ? ::mremap(values_, bytes_, bytes, MREMAP_MAYMOVE)
                          : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) throw std::bad_alloc();
    values_ = static_cast<T*>(pages);
    bytes_ = bytes;
  }

  T* values_ = nullptr;
  size_t size_ = 0;
  size_t bytes_ = 0;  // mapped
};

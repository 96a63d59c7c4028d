// Answers in the caller's buffer, as the spooler gives them: the records first, then the text
// they point to, packed behind them. A call first measures, then fills only when all fits.
#pragma once
#include <windef.h>

#include <cstring>
#include <string>

namespace qv::spool {

// Bytes a string takes in the buffer, with its terminator.
inline size_t PackedSize(const std::u16string& text) { return (text.size() + 1) * sizeof(WCHAR); }

class PackedBuffer {
 public:
  // `records` bytes at the start of `buffer` hold the records; strings follow.
  PackedBuffer(LPBYTE buffer, size_t records) : buffer_(buffer), next_(buffer + records) {}

  LPWSTR Put(const std::u16string& text) {
    size_t size = PackedSize(text);
    std::memcpy(next_, text.c_str(), size);
    auto* placed = reinterpret_cast<LPWSTR>(next_);
    next_ += size;
    return placed;
  }

  // Copies record number `index` into place (the buffer need not be aligned for it).
  template <typename Record>
  void PutRecord(size_t index, const Record& record) {
    std::memcpy(buffer_ + index * sizeof(Record), &record, sizeof(Record));
  }

 private:
  LPBYTE buffer_;
  LPBYTE next_;
};

}  // namespace qv::spool

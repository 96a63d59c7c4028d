// The process's table of kernel handles. A HANDLE is a number the table gave out, never reused
// within the process, so a stale handle is refused instead of reaching some later object;
// it is never 0 or INVALID_HANDLE_VALUE.
#pragma once
#include <windef.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace qv::files {

// Anything a HANDLE may stand for; CloseHandle destroys it once no call still uses it.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

class HandleTable {
 public:
  static HandleTable& Instance();

  HANDLE Add(std::shared_ptr<KernelObject> object);
  std::shared_ptr<KernelObject> Find(HANDLE handle) const;
  // Forgets the handle; false when it is unknown. The object lives on until calls in
  // progress on other threads let go of it.
  bool Remove(HANDLE handle);

  template <class Object>
  std::shared_ptr<Object> FindAs(HANDLE handle) const {
    return std::dynamic_pointer_cast<Object>(Find(handle));
  }

 private:
  HandleTable() = default;

  mutable std::mutex mutex_;
  // Counts removals: a handle this thread looked up last is used again without the table's lock
  // only while nothing was removed since (see Find).
  std::atomic<uint64_t> removals_{0};
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects_;
  uintptr_t next_ = 0x1000;  // multiples of 4, as Windows hands them out
};

}  // namespace qv::files

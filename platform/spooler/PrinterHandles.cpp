#include "PrinterHandles.h"

#include <map>
#include <mutex>

namespace qv::spool {
namespace {

// Printer handles start well above the small numbers port monitors hand out for their ports,
// so that one kind of handle passed for the other is refused, not mistaken.
constexpr uintptr_t kFirstHandle = 0x10000;

struct Table {
  std::mutex mutex;
  uintptr_t last = kFirstHandle;
  std::map<uintptr_t, OpenPrinterEntry> entries;
};

Table& TheTable() {
  static auto* table = new Table;
  return *table;
}

}  // namespace

HANDLE PrinterHandles::Add(const OpenPrinterEntry& entry) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  uintptr_t value = ++table.last;
  table.entries.emplace(value, entry);
  return reinterpret_cast<HANDLE>(value);
}

bool PrinterHandles::Find(HANDLE handle, OpenPrinterEntry& entry) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  auto found = table.entries.find(reinterpret_cast<uintptr_t>(handle));
  if (found == table.entries.end()) return false;
  entry = found->second;
  return true;
}

bool PrinterHandles::Remove(HANDLE handle) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  return table.entries.erase(reinterpret_cast<uintptr_t>(handle)) == 1;
}

}  // namespace qv::spool

// EnumPorts as the spooler calls it: ports named by the input, listed at level 1 or 2 into a
// buffer of a size the input chooses, placed on an even or odd address. The size asked for must
// be what the entries and strings take, the same whether or not the buffer was big enough; a
// buffer too small is left untouched; nothing is written outside the buffer (the allocation is
// exactly cbBuf bytes, a guard byte before it); every string lies inside it.
//
// Input: "level size odd" on the first line, then one port name a line. A size within 4096 of
// what is needed counts from it; any other size is taken as it is (below 1 MiB).
#include "FuzzSupport.h"

#include <TempPrefix.h>
#include <windows.h>
#include <winsplp.h>

#include <algorithm>
#include <cstring>
#include <memory>

extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot);

namespace {

const std::u16string kRoot = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";
const std::u16string kMonitorName = u"Quorvane";
const std::u16string kDescription = u"Redirection of print jobs";
constexpr unsigned char kUntouched = 0xA5;

size_t Bytes(const std::u16string& text) { return (text.size() + 1) * sizeof(char16_t); }

class Monitor {
 public:
  Monitor() {
    HKEY root = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRoot.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr))
      std::abort();
    RegCloseKey(root);
    std::u16string root16 = kRoot;
    table_ = &InitializePrintMonitor(root16.data())->Monitor;
  }

  BOOL Enum(DWORD level, BYTE* buffer, DWORD size, DWORD& needed, DWORD& returned) const {
    return table_->pfnEnumPorts(nullptr, level, buffer, size, &needed, &returned);
  }

 private:
  qv::testing::TempPrefix prefix_;
  const MONITOR* table_ = nullptr;
};

// The ports named by the input's lines, as created; removed again at the end.
class Ports {
 public:
  explicit Ports(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      const std::u16string name = qv::ToUtf16(line);
      if (name.empty() || name.find_first_of(std::u16string(u"\\\0", 2)) != std::u16string::npos) continue;
      HKEY key = nullptr;
      DWORD disposition = 0;
      if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kRoot + u"\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &key, &disposition) != ERROR_SUCCESS)
        continue;  // not a name a key can have
      RegCloseKey(key);
      // Names differing only in letter case name one key.
      if (disposition == REG_CREATED_NEW_KEY) names_.push_back(name);
    }
  }
  ~Ports() {
    for (const std::u16string& name : names_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kRoot + u"\\" + name).c_str());
  }
  Ports(const Ports&) = delete;
  Ports& operator=(const Ports&) = delete;

  const std::vector<std::u16string>& Names() const { return names_; }

 private:
  std::vector<std::u16string> names_;
};

// The string at `at`, which must end before `end`.
std::u16string StringAt(const BYTE* at, const BYTE* begin, const BYTE* end) {
  FUZZ_CHECK(at >= begin && at < end, "a string pointer outside the buffer");
  std::u16string text;
  for (;; at += sizeof(char16_t)) {
    FUZZ_CHECK(at + sizeof(char16_t) <= end, "a string runs past the buffer's end");
    char16_t c;
    std::memcpy(&c, at, sizeof c);
    if (c == 0) return text;
    text += c;
  }
}

std::string Sizes(DWORD level, size_t size, size_t needed, size_t expected) {
  return "level " + std::to_string(level) + ", buffer " + std::to_string(size) + ", needed " +
         std::to_string(needed) + ", expected " + std::to_string(expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Monitor monitor;
  std::vector<std::string> lines = qv::fuzz::Lines(data, size, 17);
  const std::vector<long long> numbers = qv::fuzz::Numbers(lines[0], 3);
  lines.erase(lines.begin());
  const DWORD level = numbers[0] % 2 ? 1 : 2;
  const bool odd = numbers[2] % 2 != 0;
  const Ports ports(lines);

  const size_t entry = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  size_t expected = Bytes(kMonitorName) + Bytes(kDescription);
  for (const std::u16string& name : ports.Names()) expected += entry + Bytes(name);

  // Asking with no buffer tells the size.
  DWORD needed = 0, returned = 7;
  FUZZ_CHECK(!monitor.Enum(level, nullptr, 0, needed, returned), "");
  FUZZ_CHECK(GetLastError() == ERROR_INSUFFICIENT_BUFFER && returned == 0, "");
  FUZZ_CHECK(needed == expected, Sizes(level, 0, needed, expected));

  const long long delta = numbers[1];
  const size_t bufferSize = delta >= -4096 && delta <= 4096
                                ? static_cast<size_t>(std::max<long long>(0, static_cast<long long>(expected) + delta))
                                : static_cast<size_t>(((delta % (1 << 20)) + (1 << 20)) % (1 << 20));
  std::unique_ptr<BYTE[]> allocation(new BYTE[bufferSize + 1]);
  std::memset(allocation.get(), kUntouched, bufferSize + 1);
  // The guard byte comes first when the buffer is to start on an odd address, else last (where
  // the sanitizer already watches the end of the allocation); the buffer is cbBuf bytes exactly.
  BYTE* allocated = allocation.get();
  BYTE* buffer = allocated + ((reinterpret_cast<uintptr_t>(allocated) % 2 == 0) == odd ? 1 : 0);
  const BYTE* end = buffer + bufferSize;
  needed = 0;
  returned = 7;
  const BOOL listed = monitor.Enum(level, buffer, static_cast<DWORD>(bufferSize), needed, returned);
  const std::string sizes = Sizes(level, bufferSize, needed, expected);
  FUZZ_CHECK(needed == expected, sizes);
  for (const BYTE* at = allocated; at < allocated + bufferSize + 1; ++at)
    if (at < buffer || at >= end) FUZZ_CHECK(*at == kUntouched, "a byte outside the buffer was written; " + sizes);

  if (bufferSize < expected) {
    FUZZ_CHECK(!listed && GetLastError() == ERROR_INSUFFICIENT_BUFFER && returned == 0, sizes);
    FUZZ_CHECK(std::all_of(buffer, buffer + bufferSize, [](BYTE b) { return b == kUntouched; }),
               "a buffer too small was written to; " + sizes);
    return 0;
  }
  FUZZ_CHECK(listed && returned == ports.Names().size(), sizes);
  std::vector<std::u16string> names;
  const BYTE* strings = buffer + returned * entry;  // strings come after the entries
  for (DWORD i = 0; i < returned; ++i) {
    if (level == 1) {
      PORT_INFO_1W info;
      std::memcpy(&info, buffer + i * entry, sizeof info);
      names.push_back(StringAt(reinterpret_cast<const BYTE*>(info.pName), strings, end));
    } else {
      PORT_INFO_2W info;
      std::memcpy(&info, buffer + i * entry, sizeof info);
      names.push_back(StringAt(reinterpret_cast<const BYTE*>(info.pPortName), strings, end));
      FUZZ_CHECK(StringAt(reinterpret_cast<const BYTE*>(info.pMonitorName), strings, end) == kMonitorName, sizes);
      FUZZ_CHECK(StringAt(reinterpret_cast<const BYTE*>(info.pDescription), strings, end) == kDescription, sizes);
      FUZZ_CHECK(info.fPortType == PORT_TYPE_WRITE && info.Reserved == 0, sizes);
    }
  }
  std::vector<std::u16string> created = ports.Names();
  std::sort(names.begin(), names.end());
  std::sort(created.begin(), created.end());
  FUZZ_CHECK(names == created, "the names listed are not the ports'; " + sizes);
  return 0;
}

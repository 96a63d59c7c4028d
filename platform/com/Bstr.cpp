// OLE strings laid out as Windows lays them out: a 4-byte length in bytes just before the
// characters, then the UTF-16 characters and a null terminator that the length does not count.
#include <oleauto.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr size_t kPrefix = sizeof(DWORD);

OLECHAR* Allocate(UINT length) {
  // The byte length must fit the 32-bit prefix.
  if (length > (std::numeric_limits<DWORD>::max() - kPrefix) / sizeof(OLECHAR) - 1) return nullptr;
  const DWORD bytes = static_cast<DWORD>(length * sizeof(OLECHAR));
  auto* block = static_cast<BYTE*>(std::calloc(1, kPrefix + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  std::memcpy(block, &bytes, kPrefix);
  return reinterpret_cast<OLECHAR*>(block + kPrefix);
}

DWORD ByteLength(BSTR text) {
  DWORD bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const BYTE*>(text) - kPrefix, kPrefix);
  return bytes;
}

}  // namespace

extern "C" {

BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  size_t length = 0;
  while (psz[length]) ++length;
  if (length > std::numeric_limits<UINT>::max()) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(length));
}

BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  OLECHAR* text = Allocate(ui);
  if (text && strIn) std::memcpy(text, strIn, ui * sizeof(OLECHAR));
  return text;
}

void STDAPICALLTYPE SysFreeString(BSTR bstrString) {
  if (bstrString) std::free(reinterpret_cast<BYTE*>(bstrString) - kPrefix);
}

UINT STDAPICALLTYPE SysStringLen(BSTR pbstr) {
  return pbstr ? ByteLength(pbstr) / sizeof(OLECHAR) : 0;
}

UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr) { return bstr ? ByteLength(bstr) : 0; }

}  // extern "C"

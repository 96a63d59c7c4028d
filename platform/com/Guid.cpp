// Interface and class identifiers and their text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <objbase.h>

#include <cstring>

extern "C" {
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
}

namespace {

constexpr int kGuidTextLength = 38;  // without the terminator

int HexDigit(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// Reads `digits` hex digits at `text`; false if any is not a hex digit.
bool ReadHex(const OLECHAR* text, int digits, unsigned long& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    int digit = HexDigit(text[i]);
    if (digit < 0) return false;
    value = (value << 4) | static_cast<unsigned long>(digit);
  }
  return true;
}

// Exactly the braced form with its four dashes, then the end of the string.
bool ParseGuid(const OLECHAR* text, GUID& guid) {
  for (int i = 0; i < kGuidTextLength; ++i)
    if (text[i] == 0) return false;  // too short; never read past the terminator
  if (text[0] != u'{' || text[9] != u'-' || text[14] != u'-' || text[19] != u'-' ||
      text[24] != u'-' || text[37] != u'}' || text[38] != 0)
    return false;
  unsigned long value = 0;
  if (!ReadHex(text + 1, 8, value)) return false;
  guid.Data1 = static_cast<DWORD>(value);
  if (!ReadHex(text + 10, 4, value)) return false;
  guid.Data2 = static_cast<WORD>(value);
  if (!ReadHex(text + 15, 4, value)) return false;
  guid.Data3 = static_cast<WORD>(value);
  static constexpr int kByteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text + kByteOffsets[i], 2, value)) return false;
    guid.Data4[i] = static_cast<BYTE>(value);
  }
  return true;
}

HRESULT GuidFromString(LPCOLESTR text, GUID* guid, HRESULT badSyntax) {
  if (!text || !guid) return E_INVALIDARG;
  GUID parsed{};
  if (!ParseGuid(text, parsed)) {
    std::memset(guid, 0, sizeof(GUID));
    return badSyntax;
  }
  *guid = parsed;
  return S_OK;
}

void WriteHex(OLECHAR* out, unsigned long value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = static_cast<OLECHAR>(kDigits[value & 0xF]);
    value >>= 4;
  }
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  return GuidFromString(lpsz, pclsid, CO_E_CLASSSTRING);
}

HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
  return GuidFromString(lpsz, lpiid, E_INVALIDARG);
}

int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (!lpsz || cchMax < kGuidTextLength + 1) return 0;
  OLECHAR* out = lpsz;
  *out++ = u'{';
  WriteHex(out, rguid.Data1, 8);
  out += 8;
  *out++ = u'-';
  WriteHex(out, rguid.Data2, 4);
  out += 4;
  *out++ = u'-';
  WriteHex(out, rguid.Data3, 4);
  out += 4;
  *out++ = u'-';
  for (int i = 0; i < 8; ++i) {
    if (i == 2) *out++ = u'-';
    WriteHex(out, rguid.Data4[i], 2);
    out += 2;
  }
  *out++ = u'}';
  *out = 0;
  return kGuidTextLength + 1;
}

}  // extern "C"

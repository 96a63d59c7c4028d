#include "Text.h"

#include "win/ExceptionBarrier.h"

#include <qv/macros.h>

namespace MarrowjetUI {

std::string ToCodePage(TextView text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(needed), '\0');
  if (needed > 0)
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes.data(), needed, nullptr, nullptr);
  return bytes;
}

Text FromCodePage(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  Text text(static_cast<size_t>(needed), WCHAR('\0'));
  if (needed > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), needed);
  return text;
}

Text DecimalText(long long number) {
  const std::string digits = std::to_string(number);
  return Text(digits.begin(), digits.end());
}

Text FromBstr(BSTR value) { return value ? Text(value, SysStringLen(value)) : Text(); }

Text TrimBlanks(TextView text) {
  const size_t first = text.find_first_not_of(WCHAR(' '));
  if (first == TextView::npos) return {};
  const size_t last = text.find_last_not_of(WCHAR(' '));
  return Text(text.substr(first, last - first + 1));
}

HRESULT CopyFromIn(BSTR value, Text& field) noexcept {
  return win::ExceptionBarrier(
      [&] {
        field = FromBstr(value);
        return S_OK;
      },
      [](bool) { return E_OUTOFMEMORY; });
}

HRESULT CopyToOut(TextView text, BSTR* out) noexcept {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace MarrowjetUI

#include "RegKey.h"

#include "ObjectError.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {

// The no-key descriptions ("without having an opened a key first") are logged word for word as
// they have always read; log readers match them, so their wording stays.
Text RegKey::ReadString(TextView name) noexcept {
  return win::ExceptionBarrier([&]() -> Text {
    if (!hKey_) RaiseError(kErrorNoKeyHeld, WSTR("Can't read key without having an opened a key first"));
    const std::string valueName = ToCodePage(name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(hKey_.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      RaiseError(kErrorCantReadValue, WSTR("Can't read value"));
    if (type != REG_SZ) RaiseError(kErrorValueNotString, WSTR("Value not a string"));
    std::string buffer(static_cast<size_t>(size) + 1, '\0');
    DWORD read = size;
    if (RegQueryValueExA(hKey_.Get(), valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                         &read) != ERROR_SUCCESS)
      return {};
    // The last stored byte is the terminating NUL (or, for a value stored without one, a
    // character that is lost).
    if (size < 2) return {};
    return FromCodePage(std::string_view(buffer.data(), size - 1));
  }, [&](bool) {
    // An absent value is an ordinary answer, not a failure.
    if (DescribeCaughtError().number != kErrorCantReadValue) ReportCaughtError(WSTR("RegKey::ReadString"), name);
    return Text();
  });
}

LONG RegKey::WriteString(TextView name, TextView value) noexcept {
  return ReportFailures(WSTR("RegKey::WriteString"), [&] {
    if (!hKey_) RaiseError(kErrorNoKeyHeld, WSTR("Can't write value without having an opened a key first"));
    const std::string valueName = ToCodePage(name);
    const std::string data = ToCodePage(value);  // c_str() adds the terminating NUL
    return RegSetValueExA(hKey_.Get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1));
  });
}

void RegKey::CloseKey() noexcept { hKey_.Reset(); }

LONG RegKey::OpenKey(HKEY root, TextView subKey) noexcept {
  return ReportFailures(WSTR("RegKey::OpenKey"), [&] {
    CloseKey();
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(root, ToCodePage(subKey).c_str(), 0, KEY_ALL_ACCESS, &opened);
    if (status != ERROR_SUCCESS) {
      ReportError(status, MessageText(status) + WSTR(" [") + Text(subKey) + WSTR("]"), WSTR("RegKey::OpenKey"), 0,
                  false);
      return status;
    }
    hKey_.Reset(opened);
    return status;
  });
}

std::unique_ptr<RegKey> RegKey::CreateKey(TextView name) noexcept {
  return ReportFailures(WSTR("RegKey::CreateKey"), [&]() -> std::unique_ptr<RegKey> {
    if (!hKey_) RaiseError(kErrorNoKeyHeld, WSTR("Can't create key without having an opened a key first"));
    auto created = std::make_unique<RegKey>();
    HKEY handle = nullptr;
    DWORD disposition = 0;
    const LONG status = RegCreateKeyExA(hKey_.Get(), ToCodePage(name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, nullptr, &handle, &disposition);
    if (status != ERROR_SUCCESS) return nullptr;
    created->SetHKey(handle);
    return created;
  });
}

LONG RegKey::DeleteValue(TextView name) noexcept {
  // "RegKEy", capital E and all, is the source this failure has always been logged under.
  return ReportFailures(WSTR("RegKEy::DeleteValue"), [&] {
    if (!hKey_) RaiseError(kErrorNoKeyHeld, WSTR("Can't delete value without having an opened a key first"));
    return RegDeleteValueA(hKey_.Get(), ToCodePage(name).c_str());
  });
}

LONG RegKey::DeleteKey(TextView name) noexcept {
  return ReportFailures(WSTR("RegKey::DeleteKey"), [&] {
    if (!hKey_) RaiseError(kErrorNoKeyHeld, WSTR("Can't delete key without having an opened a key first"));
    return RegDeleteKeyA(hKey_.Get(), ToCodePage(name).c_str());
  });
}

void RegKey::SetHKey(HKEY handle) noexcept { hKey_.Reset(handle); }

}  // namespace MarrowjetUI

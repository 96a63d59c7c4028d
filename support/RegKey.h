// The job processor's only way into the registry: one object holds at most one open key.
// No operation lets a failure reach its caller; each logs what went wrong and returns a neutral
// result (0 for a status, empty text, no object). Statuses are the registry's own codes.
#pragma once
#include <memory>

#include "Text.h"
#include "win/UniqueResource.h"

namespace MarrowjetUI {

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // A text value of the held key; empty text when it is absent, not text, or unreadable.
  Text ReadString(TextView name) noexcept;
  // Stores `value` as text under `name`; the status is returned, not logged.
  LONG WriteString(TextView name, TextView value) noexcept;
  void CloseKey() noexcept;
  // Opens `subKey` below `root` with full access, closing the key held before; a failure is
  // logged with the system's text and the path.
  LONG OpenKey(HKEY root, TextView subKey) noexcept;
  // Creates or opens the subkey `name` of the held key; null when that fails.
  std::unique_ptr<RegKey> CreateKey(TextView name) noexcept;
  LONG DeleteValue(TextView name) noexcept;
  // Deletes the subkey `name` (which must hold no subkeys of its own) with one call.
  LONG DeleteKey(TextView name) noexcept;

  // The held key, null when none.
  HKEY hKey() const noexcept { return hKey_.Get(); }
  // Takes ownership of `handle`, closing the key held before.
  void SetHKey(HKEY handle) noexcept;

 private:
  win::UniqueHKey hKey_;
};

}  // namespace MarrowjetUI

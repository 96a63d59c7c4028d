// One open registry key of the print system's own state (printers, monitors, the job counter),
// read and written through the wide registry calls with UTF-8 text on this side.
#pragma once
#include <windef.h>
#include <winreg.h>
#include <qv/registry_store.h>
#include <win/UniqueResource.h>

#include <string>
#include <vector>

namespace qv::spool {

class RegistryKey {
 public:
  // Opens HKLM\<path>; ERROR_FILE_NOT_FOUND when it does not exist.
  DWORD Open(const std::string& path);
  // Reads every value of HKLM\<path> in one registry transaction; the reads below then answer
  // from what was read, and the key is not open for anything else. ERROR_FILE_NOT_FOUND when
  // it does not exist.
  DWORD Load(const std::string& path);
  // Opens HKLM\<path>, creating it; *created tells whether this call made it.
  DWORD Create(const std::string& path, bool* created = nullptr);
  void Close();
  bool IsOpen() const { return key_ || loaded_; }

  // Text values (REG_SZ or REG_EXPAND_SZ); a value of another type is ERROR_INVALID_DATA.
  DWORD ReadString(const std::string& name, std::string& value) const;
  std::string StringOr(const std::string& name, const std::string& fallback) const;
  DWORD ReadDword(const std::string& name, DWORD& value) const;
  DWORD DwordOr(const std::string& name, DWORD fallback) const;
  DWORD WriteString(const std::string& name, const std::string& value) const;
  DWORD WriteDword(const std::string& name, DWORD value) const;
  DWORD DeleteValue(const std::string& name) const;

  // Names of the direct subkeys, in the registry's enumeration order.
  std::vector<std::string> SubKeys() const;
  bool HasSubKey(const std::string& name) const;
  // Deletes the direct subkey `name` (which must have no subkeys of its own).
  DWORD DeleteSubKey(const std::string& name) const;

 private:
  const RegistryValue* Loaded(const std::string& name) const;

  win::UniqueHKey key_;
  bool loaded_ = false;
  std::vector<RegistryValue> values_;
};

}  // namespace qv::spool

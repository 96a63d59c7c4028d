// Pieces of the spooler API answers that every print system gives alike (the embedded one and
// the CUPS one): a job's submission time and the narrow form of OpenPrinter.
#pragma once
#include <windows.h>

#include <qv/utf.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace qv::spool {

// A time in milliseconds since 1970 as the UTC SYSTEMTIME a JOB_INFO_2 carries.
inline SYSTEMTIME UtcSystemTime(int64_t milliseconds) {
  std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(parts.tm_year + 1900);
  time.wMonth = static_cast<WORD>(parts.tm_mon + 1);
  time.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
  time.wDay = static_cast<WORD>(parts.tm_mday);
  time.wHour = static_cast<WORD>(parts.tm_hour);
  time.wMinute = static_cast<WORD>(parts.tm_min);
  time.wSecond = static_cast<WORD>(parts.tm_sec);
  time.wMilliseconds = static_cast<WORD>(milliseconds % 1000);
  return time;
}

// OpenPrinterA's arguments in their wide form, for the print system's OpenPrinterW; the wide
// texts live as long as this object.
class WideOpenPrinterArguments {
 public:
  WideOpenPrinterArguments(LPSTR name, LPPRINTER_DEFAULTSA defaults)
      : hasName_(name != nullptr), hasDefaults_(defaults != nullptr) {
    if (name) name_ = ToUtf16(name);
    if (defaults) {
      if (defaults->pDatatype) datatype_ = ToUtf16(defaults->pDatatype);
      defaults_.pDatatype = defaults->pDatatype ? datatype_.data() : nullptr;
      defaults_.DesiredAccess = defaults->DesiredAccess;
    }
  }
  // Not copied: the defaults point into this object's own texts.
  WideOpenPrinterArguments(const WideOpenPrinterArguments&) = delete;
  WideOpenPrinterArguments& operator=(const WideOpenPrinterArguments&) = delete;
  LPWSTR Name() { return hasName_ ? name_.data() : nullptr; }
  LPPRINTER_DEFAULTSW Defaults() { return hasDefaults_ ? &defaults_ : nullptr; }

 private:
  bool hasName_;
  bool hasDefaults_;
  std::u16string name_;
  std::u16string datatype_;
  PRINTER_DEFAULTSW defaults_{};
};

}  // namespace qv::spool

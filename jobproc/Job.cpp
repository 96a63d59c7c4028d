#include "Job.h"

#include <limits>

#include "MonitorKey.h"
#include "ObjectError.h"
#include "RegKey.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {
namespace {

HRESULT PutNumber(LONG& field, LONG value) {
  field = value;
  return S_OK;
}

HRESULT GetNumber(LONG field, LONG* value) {
  if (!value) return E_POINTER;
  *value = field;
  return S_OK;
}

// The stored counter with a "0" put in front, read as a 32-bit number: anything that is not
// plain decimal digits within range (empty, a sign, letters, too large) counts as 0.
LONG CounterValue(TextView stored) {
  long long value = 0;
  for (WCHAR c : stored) {
    if (c < WCHAR('0') || c > WCHAR('9')) return 0;
    value = value * 10 + (c - WCHAR('0'));
    if (value > std::numeric_limits<LONG>::max()) return 0;
  }
  return static_cast<LONG>(value);
}

enum class Field { ID, PrinterName, SerialNumber, MachineName, UserName, DocumentName, NotifyName,
                   DataType, DriverName, TotalPages, Priority, Size, Second, Minute, Hour, Day,
                   Month, Year, WeekDay };

struct FieldCode {
  const WCHAR* code;
  Field field;
};

constexpr FieldCode kFieldCodes[] = {
    {WSTR("?ID?"), Field::ID},         {WSTR("?PN?"), Field::PrinterName}, {WSTR("?SN?"), Field::SerialNumber},
    {WSTR("?MN?"), Field::MachineName}, {WSTR("?UN?"), Field::UserName},   {WSTR("?DN?"), Field::DocumentName},
    {WSTR("?NN?"), Field::NotifyName},  {WSTR("?DT?"), Field::DataType},   {WSTR("?DR?"), Field::DriverName},
    {WSTR("?TP?"), Field::TotalPages},  {WSTR("?PR?"), Field::Priority},   {WSTR("?SI?"), Field::Size},
    {WSTR("?SE?"), Field::Second},      {WSTR("?MI?"), Field::Minute},     {WSTR("?HO?"), Field::Hour},
    {WSTR("?DA?"), Field::Day},         {WSTR("?MO?"), Field::Month},      {WSTR("?YE?"), Field::Year},
    {WSTR("?WD?"), Field::WeekDay},
};

}  // namespace

size_t FirstFieldCode(TextView source) noexcept {
  for (size_t position = 0; position + 4 <= source.size(); ++position) {
    const TextView code = source.substr(position, 4);
    for (const FieldCode& entry : kFieldCodes)
      if (code == entry.code) return position;
  }
  return TextView::npos;
}

HRESULT Job::put_Size(LONG value) { return PutNumber(size_, value); }
HRESULT Job::get_Size(LONG* value) { return GetNumber(size_, value); }
HRESULT Job::put_Priority(LONG value) { return PutNumber(priority_, value); }
HRESULT Job::get_Priority(LONG* value) { return GetNumber(priority_, value); }
HRESULT Job::put_TotalPages(LONG value) { return PutNumber(totalPages_, value); }
HRESULT Job::get_TotalPages(LONG* value) { return GetNumber(totalPages_, value); }
HRESULT Job::put_DriverName(BSTR value) { return CopyFromIn(value, driverName_); }
HRESULT Job::get_DriverName(BSTR* value) { return CopyToOut(driverName_, value); }
HRESULT Job::put_DataType(BSTR value) { return CopyFromIn(value, dataType_); }
HRESULT Job::get_DataType(BSTR* value) { return CopyToOut(dataType_, value); }
HRESULT Job::put_NotifyName(BSTR value) { return CopyFromIn(value, notifyName_); }
HRESULT Job::get_NotifyName(BSTR* value) { return CopyToOut(notifyName_, value); }
HRESULT Job::put_DocumentName(BSTR value) { return CopyFromIn(value, documentName_); }
HRESULT Job::get_DocumentName(BSTR* value) { return CopyToOut(documentName_, value); }
HRESULT Job::put_UserName(BSTR value) { return CopyFromIn(value, userName_); }
HRESULT Job::get_UserName(BSTR* value) { return CopyToOut(userName_, value); }
HRESULT Job::put_MachineName(BSTR value) { return CopyFromIn(value, machineName_); }
HRESULT Job::get_MachineName(BSTR* value) { return CopyToOut(machineName_, value); }
HRESULT Job::put_PrinterName(BSTR value) { return CopyFromIn(value, printerName_); }
HRESULT Job::get_PrinterName(BSTR* value) { return CopyToOut(printerName_, value); }
HRESULT Job::put_ID(LONG value) { return PutNumber(id_, value); }
HRESULT Job::get_ID(LONG* value) { return GetNumber(id_, value); }

HRESULT Job::GetSerialNumber(LONG* result) {
  if (!result) return E_POINTER;
  *result = NextSerialNumber();
  return S_OK;
}

HRESULT Job::Convert(BSTR* Source, DATE* DateNow, BSTR* result) {
  if (!Source || !DateNow || !result) return E_POINTER;
  *result = nullptr;
  const Text converted = ReportFailures(WSTR("Job::Convert"), [&] { return Expand(FromBstr(*Source), *DateNow); });
  return CopyToOut(converted, result);
}

// One pass from left to right: at each position either a whole field code is replaced, or one
// character is copied. Inserted values are never scanned again.
Text Job::Expand(TextView source, DATE dateNow) {
  SYSTEMTIME now{};
  if (!VariantTimeToSystemTime(dateNow, &now))
    RaiseError(kErrorInvalidArgument, WSTR("Invalid procedure call or argument"));
  Text result;
  size_t position = 0;
  while (position < source.size()) {
    if (AppendFieldValue(source.substr(position, 4), now, result)) {
      position += 4;
    } else {
      result += source[position];
      ++position;
    }
  }
  return result;
}

bool Job::AppendFieldValue(TextView code, const SYSTEMTIME& now, Text& result) {
  if (code.size() != 4 || code.front() != WCHAR('?') || code.back() != WCHAR('?')) return false;
  for (const FieldCode& entry : kFieldCodes) {
    if (code != entry.code) continue;
    switch (entry.field) {
      case Field::ID: result += DecimalText(id_); break;
      case Field::PrinterName: result += printerName_; break;
      case Field::SerialNumber: result += DecimalText(NextSerialNumber()); break;
      case Field::MachineName: result += machineName_; break;
      case Field::UserName: result += userName_; break;
      case Field::DocumentName: result += documentName_; break;
      case Field::NotifyName: result += notifyName_; break;
      case Field::DataType: result += dataType_; break;
      case Field::DriverName: result += driverName_; break;
      case Field::TotalPages: result += DecimalText(totalPages_); break;
      case Field::Priority: result += DecimalText(priority_); break;
      case Field::Size: result += DecimalText(size_); break;
      case Field::Second: result += DecimalText(now.wSecond); break;
      case Field::Minute: result += DecimalText(now.wMinute); break;
      case Field::Hour: result += DecimalText(now.wHour); break;
      case Field::Day: result += DecimalText(now.wDay); break;
      case Field::Month: result += DecimalText(now.wMonth); break;
      case Field::Year: result += DecimalText(now.wYear); break;
      case Field::WeekDay: result += DecimalText(now.wDayOfWeek + 1); break;  // 1 is Sunday
    }
    return true;
  }
  return false;
}

// Read, add one, write back: three registry steps without a lock. Numbers are unique because
// the monitor hands jobs over one at a time.
LONG Job::NextSerialNumber() noexcept {
  return ReportFailures(WSTR("Job::GetSerialNumber"), [&] {
    RegKey key;
    key.OpenKey(HKEY_LOCAL_MACHINE, kMonitorKey);
    const LONG count = CounterValue(key.ReadString(kSerialNumberValue));
    if (count == std::numeric_limits<LONG>::max()) RaiseError(kErrorOverflow, WSTR("Overflow"));
    const LONG next = count + 1;
    // A number that could not be stored would be issued again: it is not handed out.
    const LONG status = key.WriteString(kSerialNumberValue, DecimalText(next));
    if (status != ERROR_SUCCESS) RaiseSystemError(status);
    return next;
  });
}

}  // namespace MarrowjetUI

// Path templates: a template and the fields of a job, both chosen by the input, expanded by the
// job record and compared with a small model of the field codes written here; then the same
// fields are written through a write-file action below the literal folder "C:\Out\", where
// links to a folder outside are planted, and nothing may appear outside that folder.
//
// Input, one item a line: template, user, machine, document, printer, notify name, data type,
// driver, then "id pages priority size serial" and "year month day hour minute second".
#include "FuzzSupport.h"

#include <MarrowjetInterfaces.h>
#include <TempPrefix.h>
#include <qv/paths.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "ActionWriteFile.h"
#include "Job.h"
#include "MonitorKey.h"
#include "Text.h"

namespace fs = std::filesystem;
namespace {

std::u16string Decimal(long long value) { return qv::ToUtf16(std::to_string(value)); }

struct Fields {
  std::u16string user, machine, document, printer, notify, dataType, driver;
  LONG id = 0, pages = 0, priority = 0, size = 0;
  LONG serial = 0;  // the stored counter before the expansion
  SYSTEMTIME time{};
};

// Days since 1 January 1970 of a date of the proleptic Gregorian calendar.
long long DaysSinceEpoch(long long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The model: each code and the text it stands for; 1 January 1970 was a Thursday, and Sunday
// counts as day 1 of the week.
std::u16string Expected(std::u16string_view source, const Fields& f) {
  LONG serial = f.serial;
  const SYSTEMTIME& t = f.time;
  const long long weekDay = ((DaysSinceEpoch(t.wYear, t.wMonth, t.wDay) + 4) % 7 + 7) % 7 + 1;
  const std::map<std::u16string, std::u16string> fixed = {
      {u"?ID?", Decimal(f.id)},       {u"?PN?", f.printer},           {u"?MN?", f.machine},
      {u"?UN?", f.user},              {u"?DN?", f.document},          {u"?NN?", f.notify},
      {u"?DT?", f.dataType},          {u"?DR?", f.driver},            {u"?TP?", Decimal(f.pages)},
      {u"?PR?", Decimal(f.priority)}, {u"?SI?", Decimal(f.size)},     {u"?SE?", Decimal(t.wSecond)},
      {u"?MI?", Decimal(t.wMinute)},  {u"?HO?", Decimal(t.wHour)},    {u"?DA?", Decimal(t.wDay)},
      {u"?MO?", Decimal(t.wMonth)},   {u"?YE?", Decimal(t.wYear)},    {u"?WD?", Decimal(weekDay)},
  };
  std::u16string result;
  for (size_t i = 0; i < source.size();) {
    const std::u16string code(source.substr(i, 4));
    if (code == u"?SN?") {
      result += Decimal(++serial);
    } else if (auto found = fixed.find(code); found != fixed.end()) {
      result += found->second;
    } else {
      result += source[i++];
      continue;
    }
    i += 4;
  }
  return result;
}

// Where the first code starts.
size_t FirstCode(std::u16string_view source) {
  static const std::u16string_view kCodes[] = {u"?ID?", u"?PN?", u"?SN?", u"?MN?", u"?UN?", u"?DN?", u"?NN?",
                                               u"?DT?", u"?DR?", u"?TP?", u"?PR?", u"?SI?", u"?SE?", u"?MI?",
                                               u"?HO?", u"?DA?", u"?MO?", u"?YE?", u"?WD?"};
  for (size_t i = 0; i + 4 <= source.size(); ++i)
    for (std::u16string_view code : kCodes)
      if (source.substr(i, 4) == code) return i;
  return std::u16string_view::npos;
}

// A date within the range the platform's dates cover: numbers in range are taken as they
// are, others are brought into it.
SYSTEMTIME DateFrom(const std::vector<long long>& n) {
  auto within = [](long long value, long long low, long long high) {
    const long long count = high - low + 1;
    return static_cast<WORD>(value >= low && value <= high ? value : low + ((value % count) + count) % count);
  };
  SYSTEMTIME t{};
  t.wYear = within(n[0], 100, 9999);
  t.wMonth = within(n[1], 1, 12);
  const bool leap = (t.wYear % 4 == 0 && t.wYear % 100 != 0) || t.wYear % 400 == 0;
  const int monthDays[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  t.wDay = within(n[2], 1, monthDays[t.wMonth - 1]);
  t.wHour = within(n[3], 0, 23);
  t.wMinute = within(n[4], 0, 59);
  t.wSecond = within(n[5], 0, 59);
  return t;
}

class JobRecord {
 public:
  JobRecord() {
    if (FAILED(MarrowjetUI::Job::CreateInstance(IID__Job, reinterpret_cast<void**>(&job_)))) std::abort();
  }
  ~JobRecord() { job_->Release(); }
  JobRecord(const JobRecord&) = delete;
  JobRecord& operator=(const JobRecord&) = delete;
  _Job* Get() const { return job_; }

  void Fill(const Fields& f) {
    Put(&_Job::put_UserName, f.user);
    Put(&_Job::put_MachineName, f.machine);
    Put(&_Job::put_DocumentName, f.document);
    Put(&_Job::put_PrinterName, f.printer);
    Put(&_Job::put_NotifyName, f.notify);
    Put(&_Job::put_DataType, f.dataType);
    Put(&_Job::put_DriverName, f.driver);
    job_->put_ID(f.id);
    job_->put_TotalPages(f.pages);
    job_->put_Priority(f.priority);
    job_->put_Size(f.size);
  }

  std::u16string Convert(const std::u16string& source, DATE date) {
    MarrowjetUI::Bstr text(source);
    BSTR argument = text.Get();
    MarrowjetUI::Bstr result;
    FUZZ_CHECK(SUCCEEDED(job_->Convert(&argument, &date, result.Out())), "");
    return result.ToText();
  }

 private:
  void Put(HRESULT (STDMETHODCALLTYPE _Job::*put)(BSTR), const std::u16string& value) {
    MarrowjetUI::Bstr text(value);
    FUZZ_CHECK(SUCCEEDED((job_->*put)(text.Get())), "");
  }

  _Job* job_ = nullptr;
};

const std::string kJobData = "job data\n";
const std::string kKept = "must stay";

// A prefix of its own with drive C:, the job's data file, and a folder outside drive C: that
// links inside C:\Out\ lead to.
class Sandbox {
 public:
  Sandbox() {
    if (!qv::fuzz::SetRegistryText(qv::ToUtf16(qv::kDosDevicesKey), u"C:", qv::ToUtf16(DriveC().string())))
      std::abort();
    std::ofstream(Spooled(), std::ios::binary) << kJobData;
    // QV_FUZZ_LOG names a log file for the job processor's errors, to see why an input failed.
    if (const char* log = std::getenv("QV_FUZZ_LOG"))
      qv::fuzz::SetRegistryText(u"Software\\Drennic\\Quorvane", u"LogFile", qv::ToUtf16(log));
  }

  fs::path DriveC() const { return prefix_.Path("drive_c"); }
  fs::path Out() const { return DriveC() / "Out"; }
  fs::path Outside() const { return prefix_.Path("outside"); }
  std::string Spooled() const { return prefix_.Path("DRN1.tmp"); }

  void Reset() {
    fs::remove_all(DriveC());
    fs::remove_all(Outside());
    fs::create_directories(Out());
    fs::create_directories(Outside());
    std::ofstream(Outside() / "passwd.prn", std::ios::binary) << kKept;
    for (const char* name : {"bob", "etc"}) fs::create_directory_symlink(Outside(), Out() / name);
  }

  // Nothing new outside C:\Out\: drive C: holds only Out, the outside folder only its file.
  void CheckContained(const std::string& destination) const {
    FUZZ_CHECK(fs::is_directory(fs::symlink_status(Out())), destination);
    for (const fs::directory_entry& entry : fs::directory_iterator(DriveC()))
      FUZZ_CHECK(entry.path() == Out(), destination + " made " + entry.path().string());
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Outside()))
      FUZZ_CHECK(entry.path() == Outside() / "passwd.prn", destination + " made " + entry.path().string());
    std::ifstream kept(Outside() / "passwd.prn", std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>()};
    FUZZ_CHECK(content == kKept, destination + " changed the file outside");
  }

 private:
  qv::testing::TempPrefix prefix_;
};

// A destination below C:\Out\ that must be written: short plain names, none leading through
// a planted link.
bool MustBeWritten(std::u16string_view below) {
  size_t count = 0;
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(below.find(u'\\', start), below.size());
    const std::u16string_view element = below.substr(start, end - start);
    if (element.empty() || element.size() > 64 || element == u"." || element == u"..") return false;
    for (char16_t c : element)
      if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
            c == u'_' || c == u'.'))
        return false;
    ++count;
    if (end == below.size()) return count <= 8;
    if (count == 1 && (element == u"bob" || element == u"etc")) return false;
    start = end + 1;
  }
}

std::string Utf8(std::u16string_view text) { return qv::ToUtf8(text); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Sandbox sandbox;
  const std::vector<std::string> lines = qv::fuzz::Lines(data, size, 10);
  const std::u16string source = qv::ToUtf16(lines[0]);
  Fields f;
  f.user = qv::ToUtf16(lines[1]);
  f.machine = qv::ToUtf16(lines[2]);
  f.document = qv::ToUtf16(lines[3]);
  f.printer = qv::ToUtf16(lines[4]);
  f.notify = qv::ToUtf16(lines[5]);
  f.dataType = qv::ToUtf16(lines[6]);
  f.driver = qv::ToUtf16(lines[7]);
  const std::vector<long long> numbers = qv::fuzz::Numbers(lines[8], 5);
  f.id = static_cast<LONG>(numbers[0]);
  f.pages = static_cast<LONG>(numbers[1]);
  f.priority = static_cast<LONG>(numbers[2]);
  f.size = static_cast<LONG>(numbers[3]);
  f.serial = static_cast<LONG>(((numbers[4] % 1000000) + 1000000) % 1000000);
  f.time = DateFrom(qv::fuzz::Numbers(lines[9], 6));
  DATE date = 0;
  FUZZ_CHECK(SystemTimeToVariantTime(&f.time, &date), lines[9]);

  const std::u16string monitorKey = MarrowjetUI::kMonitorKey;
  auto setCounter = [&] { FUZZ_CHECK(qv::fuzz::SetRegistryText(monitorKey, u"SerialNumber", Decimal(f.serial)), ""); };
  JobRecord job;
  job.Fill(f);

  // The expansion matches the model, and the text before the first code stays as it is.
  setCounter();
  const std::u16string converted = job.Convert(source, date);
  const std::u16string expected = Expected(source, f);
  FUZZ_CHECK(converted == expected, "template " + Utf8(source) + "\ngave     " + Utf8(converted) +
                                        "\nexpected " + Utf8(expected));
  const size_t first = FirstCode(source);
  FUZZ_CHECK(MarrowjetUI::FirstFieldCode(source) == first, Utf8(source));
  const std::u16string literal = source.substr(0, first);
  const size_t folderEnd = literal.find_last_of(u"\\/");
  const size_t literalFolder = folderEnd == std::u16string::npos ? 0 : folderEnd + 1;
  FUZZ_CHECK(MarrowjetUI::ActionWriteFile::LiteralFolderLength(source, converted) == literalFolder, Utf8(source));

  // The same codes and fields written below C:\Out\.
  std::u16string pathTemplate = u"C:\\Out\\" + (first == std::u16string::npos ? u"?DN?" : source.substr(first));
  while (pathTemplate.back() == u' ') pathTemplate.pop_back();  // as the script line is read
  sandbox.Reset();
  setCounter();
  MarrowjetUI::ActionWriteFile action;
  action.LoadFromString(u"WriteFile: " + pathTemplate);
  action.Run(qv::ToUtf16(sandbox.Spooled()), job.Get(), date);
  const std::u16string destination = Expected(pathTemplate, f);
  sandbox.CheckContained(Utf8(destination));
  const std::u16string below = destination.substr(7);
  if (MustBeWritten(below)) {
    std::u16string relative = below;
    for (char16_t& c : relative)
      if (c == u'\\') c = u'/';
    std::ifstream written(sandbox.Out() / Utf8(relative), std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(written), std::istreambuf_iterator<char>()};
    FUZZ_CHECK(content == kJobData, Utf8(destination) + " was not written");
  }
  return 0;
}

// A port monitor for tests: it takes jobs the way a real monitor does (the job's information
// through OpenPrinterW and GetJobW at StartDocPort, SetJobW once the job is done) and writes
// what it is told into files named by the value "Record" of its own key: "<Record>" gets one
// line per call, "<Record>.data" the bytes of every WritePort. Its ports are the subkeys of its
// key. DWORD values of its key make it fail: "FailStartDoc" (the error to give), "FailWrite"
// (fail the Nth WritePort), "NoPorts" (EnumPorts reports nothing). With the text value
// "ThenPrintTo" it prints the job's data again to that printer from inside EndDocPort, as a
// port's script may; "ThenRawPrintTo" does the same through the raw printing calls, and the
// DWORD "ExitAfterReprint" ends the process right after that, as a crash would. The DWORD
// "ReportAtEndDoc" makes EndDocPort report that number as a failure, as a port's script that
// could not write its file does, and still answer TRUE.
#include <windows.h>
#include <winsplp.h>

#include <qv/diagnostics.h>

#include <qv/print_system.h>
#include <qv/utf.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex lock;
std::u16string root;
DWORD lastHandle = 0;
std::map<DWORD, std::u16string> ports;
struct Job {
  std::u16string printer;
  DWORD id = 0;
  std::string data;  // what this job's WritePort calls brought
};
std::map<DWORD, Job> jobs;
DWORD writes = 0;

std::string Narrow(LPCWSTR text) { return text ? qv::ToUtf8(text) : "(null)"; }

bool ReadValue(const char16_t* name, DWORD type, void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD gotType = 0;
  bool ok = RegQueryValueExW(key, name, nullptr, &gotType, static_cast<LPBYTE>(data), &size) ==
                ERROR_SUCCESS && gotType == type;
  RegCloseKey(key);
  return ok;
}

DWORD Setting(const char16_t* name) {
  DWORD value = 0;
  return ReadValue(name, REG_DWORD, &value, sizeof value) ? value : 0;
}

std::string RecordPath() {
  WCHAR path[1024] = {};
  return ReadValue(u"Record", REG_SZ, path, sizeof path - sizeof(WCHAR)) ? Narrow(path) : "";
}

void Record(const std::string& line) {
  std::string path = RecordPath();
  if (path.empty()) return;
  std::ofstream(path, std::ios::app) << line << "\n";
}

HANDLE ToHandle(DWORD value) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)); }
DWORD FromHandle(HANDLE handle) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(handle)); }

std::string JobLine(LPWSTR printer, DWORD id) {
  HANDLE handle = nullptr;
  PRINTER_DEFAULTSW defaults{const_cast<LPWSTR>(u"RAW"), nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(printer, &handle, &defaults)) return "open failed " + std::to_string(GetLastError());
  DWORD needed = 0;
  std::string line;
  if (GetJobW(handle, id, 2, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    line = "getjob failed " + std::to_string(GetLastError());
  } else {
    std::vector<BYTE> buffer(needed);
    GetJobW(handle, id, 2, buffer.data(), needed, &needed);
    auto* info = reinterpret_cast<JOB_INFO_2W*>(buffer.data());
    line = "doc=" + Narrow(info->pDocument) + " user=" + Narrow(info->pUserName) + " machine=" +
           Narrow(info->pMachineName) + " notify=" + Narrow(info->pNotifyName) + " type=" +
           Narrow(info->pDatatype) + " driver=" + Narrow(info->pDriverName) + " size=" +
           std::to_string(info->Size) + " priority=" + std::to_string(info->Priority) +
           " position=" + std::to_string(info->Position) + " status=" + std::to_string(info->Status);
  }
  ClosePrinter(handle);
  return line;
}

BOOL WINAPI EnumPorts(LPWSTR, DWORD level, LPBYTE buffer, DWORD cbBuf, LPDWORD needed, LPDWORD returned) {
  std::lock_guard guard(lock);
  std::vector<std::u16string> names;
  HKEY key = nullptr;
  if (!Setting(u"NoPorts") && RegOpenKeyExW(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    WCHAR name[256];
    for (DWORD i = 0; RegEnumKeyW(key, i, name, 256) == ERROR_SUCCESS; ++i) names.push_back(name);
    RegCloseKey(key);
  }
  std::u16string monitor = root.substr(root.rfind(u'\\') + 1);
  std::u16string description = u"Test port";
  size_t entry = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  size_t size = (monitor.size() + 1 + description.size() + 1) * sizeof(WCHAR);
  for (const auto& name : names) size += entry + (name.size() + 1) * sizeof(WCHAR);
  *needed = static_cast<DWORD>(size);
  *returned = 0;
  if (size > cbBuf) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* text = reinterpret_cast<WCHAR*>(buffer + names.size() * entry);
  auto put = [&](const std::u16string& value) {
    WCHAR* at = text;
    std::copy(value.begin(), value.end(), at);
    at[value.size()] = 0;
    text += value.size() + 1;
    return at;
  };
  WCHAR* monitorText = put(monitor);
  WCHAR* descriptionText = put(description);
  for (size_t i = 0; i < names.size(); ++i) {
    if (level == 1) {
      reinterpret_cast<PORT_INFO_1W*>(buffer)[i] = {put(names[i])};
    } else {
      reinterpret_cast<PORT_INFO_2W*>(buffer)[i] = {put(names[i]), monitorText, descriptionText, PORT_TYPE_WRITE, 0};
    }
  }
  *returned = static_cast<DWORD>(names.size());
  return TRUE;
}

BOOL WINAPI OpenPort(LPWSTR name, PHANDLE handle) {
  std::lock_guard guard(lock);
  *handle = ToHandle(++lastHandle);
  ports[lastHandle] = name;
  Record("OpenPort " + Narrow(name) + " " + std::to_string(lastHandle));
  return TRUE;
}

BOOL WINAPI StartDocPort(HANDLE port, LPWSTR printer, DWORD jobId, DWORD level, LPBYTE docInfo) {
  std::lock_guard guard(lock);
  auto* doc = reinterpret_cast<DOC_INFO_1W*>(docInfo);
  Record("StartDocPort " + std::to_string(FromHandle(port)) + " printer=" + Narrow(printer) + " job=" +
         std::to_string(jobId) + " level=" + std::to_string(level) + " docname=" + Narrow(doc->pDocName) +
         " datatype=" + Narrow(doc->pDatatype));
  if (DWORD error = Setting(u"FailStartDoc")) {
    SetLastError(error);
    return FALSE;
  }
  Record("job " + JobLine(printer, jobId));
  jobs[FromHandle(port)] = {printer, jobId, {}};
  writes = 0;
  return TRUE;
}

BOOL WINAPI WritePort(HANDLE port, LPBYTE data, DWORD size, LPDWORD written) {
  std::lock_guard guard(lock);
  *written = 0;
  if (!jobs.count(FromHandle(port))) return FALSE;
  if (DWORD failAt = Setting(u"FailWrite"); failAt && ++writes >= failAt) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  Record("WritePort " + std::to_string(size));
  std::ofstream(RecordPath() + ".data", std::ios::app | std::ios::binary)
      .write(reinterpret_cast<const char*>(data), size);
  jobs[FromHandle(port)].data.append(reinterpret_cast<const char*>(data), size);
  *written = size;
  return TRUE;
}

BOOL WINAPI ReadPort(HANDLE, LPBYTE, DWORD, LPDWORD read) {
  *read = 0;
  return TRUE;
}

// Prints the data received so far to `printer` while this job is still running.
void PrintFromInside(const std::string& printer) {
  int fd = open((RecordPath() + ".data").c_str(), O_RDONLY);
  DWORD id = 0;
  DWORD spooled = qv::SpoolJob({printer, "again", "monitor", "here", 1}, fd, id);
  close(fd);
  DWORD sent = qv::DespoolJob(id);
  qv::JobEntry entry;
  Record("printed from inside: spooled=" + std::to_string(spooled) + " despool=" + std::to_string(sent) +
         " state=" + (qv::GetJobEntry(id, entry) == ERROR_SUCCESS ? entry.state : "gone"));
}

// Prints `data` to `printer` as a raw document while this job is still running.
void RawPrintFromInside(const std::string& printer, const std::string& data) {
  std::string name = printer, datatype = "RAW", document = "again";
  PRINTER_DEFAULTSA defaults{datatype.data(), nullptr, PRINTER_ACCESS_USE};
  HANDLE handle = nullptr;
  if (!OpenPrinterA(name.data(), &handle, &defaults)) {
    Record("raw print from inside: open error=" + std::to_string(GetLastError()));
    return;
  }
  DOC_INFO_1A info{document.data(), nullptr, datatype.data()};
  DWORD id = StartDocPrinterA(handle, 1, reinterpret_cast<LPBYTE>(&info));
  DWORD error = id ? 0 : GetLastError();
  if (id) {
    DWORD written = 0;
    StartPagePrinter(handle);
    WritePrinter(handle, const_cast<char*>(data.data()), static_cast<DWORD>(data.size()), &written);
    EndPagePrinter(handle);
    EndDocPrinter(handle);
  }
  ClosePrinter(handle);
  qv::JobEntry entry;
  bool spooled = id && qv::GetJobEntry(id, entry) == ERROR_SUCCESS;
  Record("raw print from inside: job=" + std::to_string(id) + " error=" + std::to_string(error) +
         (spooled ? " hops=" + std::to_string(entry.hops) + " state=" + entry.state : ""));
  if (spooled && Setting(u"ExitAfterReprint")) _exit(7);
}

BOOL WINAPI EndDocPort(HANDLE port) {
  std::lock_guard guard(lock);
  auto found = jobs.find(FromHandle(port));
  if (found == jobs.end()) return FALSE;
  WCHAR target[256] = {};
  if (ReadValue(u"ThenPrintTo", REG_SZ, target, sizeof target - sizeof(WCHAR))) PrintFromInside(Narrow(target));
  WCHAR rawTarget[256] = {};
  // The DWORD "RawPrintCount" prints that many copies (default one).
  if (ReadValue(u"ThenRawPrintTo", REG_SZ, rawTarget, sizeof rawTarget - sizeof(WCHAR)) && rawTarget[0])
    for (DWORD copy = 0, copies = Setting(u"RawPrintCount") ? Setting(u"RawPrintCount") : 1; copy < copies; ++copy)
      RawPrintFromInside(Narrow(rawTarget), found->second.data);
  // A failure reported before the job is reported printed, as the job processor's are; the
  // DWORD "ReportAfterPrinted" (1) reports it after that instead.
  const DWORD reportAtEnd = Setting(u"ReportAtEndDoc");
  const bool reportAfter = Setting(u"ReportAfterPrinted") != 0;
  auto reportFailure = [&] {
    QvReportFailure(static_cast<LONG>(reportAtEnd), u"Error writing file: C:\\out.prn", u"ActionWriteFile::Run");
  };
  if (reportAtEnd && !reportAfter) reportFailure();
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW defaults{const_cast<LPWSTR>(u"RAW"), nullptr, PRINTER_ALL_ACCESS};
  OpenPrinterW(found->second.printer.data(), &printer, &defaults);
  BOOL set = SetJobW(printer, found->second.id, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
  ClosePrinter(printer);
  Record("EndDocPort " + std::to_string(FromHandle(port)) + " setjob=" + std::to_string(set));
  if (reportAtEnd && reportAfter) reportFailure();
  jobs.erase(found);
  return TRUE;
}

BOOL WINAPI ClosePort(HANDLE port) {
  std::lock_guard guard(lock);
  ports.erase(FromHandle(port));
  Record("ClosePort " + std::to_string(FromHandle(port)));
  return TRUE;
}

BOOL WINAPI PortRequest(const char* what, LPWSTR name) {
  std::lock_guard guard(lock);
  Record(std::string(what) + " " + Narrow(name));
  return TRUE;
}
BOOL WINAPI AddPort(LPWSTR, HWND, LPWSTR monitor) { return PortRequest("AddPort", monitor); }
BOOL WINAPI ConfigurePort(LPWSTR, HWND, LPWSTR port) { return PortRequest("ConfigurePort", port); }
BOOL WINAPI DeletePort(LPWSTR, HWND, LPWSTR port) { return PortRequest("DeletePort", port); }

MONITOREX table = {sizeof(MONITOR),
                   {EnumPorts, OpenPort, nullptr, StartDocPort, WritePort, ReadPort, EndDocPort,
                    ClosePort, AddPort, nullptr, ConfigurePort, DeletePort, nullptr, nullptr}};

}  // namespace

extern "C" __attribute__((visibility("default"))) LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR registryRoot) {
  std::lock_guard guard(lock);
  root = registryRoot;
  Record("InitializePrintMonitor " + Narrow(registryRoot));
  return &table;
}

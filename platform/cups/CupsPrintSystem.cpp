// The CUPS print system behind the spooler API: queues are printers, the backend's job is the
// job in hand, raw documents become raw CUPS jobs.
#include "Ipp.h"
#include "RawJob.h"
#include "../spooler/PackedBuffer.h"
#include "../spooler/SpoolerCalls.h"

#include <qv/cups.h>
#include <qv/utf.h>

#include <winbase.h>
#include <winerror.h>

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>

namespace qv::cups {
namespace {

using spool::PackedBuffer;
using spool::PackedSize;

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

struct OpenQueue {
  std::string name;
  ACCESS_MASK access = PRINTER_ACCESS_USE;
  std::unique_ptr<RawJob> document;
};

// What the backend's job is, beyond its arguments: asked of the scheduler once.
struct JobDetails {
  bool fetched = false;
  DWORD priority = 50;
  std::string driver;
};

// A queue's level-2 information in wide text.
struct PrinterInfo {
  Queue queue;
  std::u16string name, port, driver, comment, location, empty, processor, datatype;

  explicit PrinterInfo(const Queue& from) : queue(from) {
    name = ToUtf16(queue.name);
    port = ToUtf16(queue.port);
    driver = ToUtf16(queue.makeAndModel);
    comment = ToUtf16(queue.info);
    location = ToUtf16(queue.location);
    processor = u"winprint";
    datatype = u"RAW";
  }

  size_t Size() const {
    return sizeof(PRINTER_INFO_2W) + PackedSize(name) + PackedSize(port) + PackedSize(driver) +
           PackedSize(comment) + PackedSize(location) + 3 * PackedSize(empty) + PackedSize(processor) +
           PackedSize(datatype);
  }

  PRINTER_INFO_2W Fill(PackedBuffer& buffer) const {
    PRINTER_INFO_2W info{};
    info.pPrinterName = buffer.Put(name);
    info.pShareName = buffer.Put(empty);
    info.pPortName = buffer.Put(port);
    info.pDriverName = buffer.Put(driver);
    info.pComment = buffer.Put(comment);
    info.pLocation = buffer.Put(location);
    info.pSepFile = buffer.Put(empty);
    info.pPrintProcessor = buffer.Put(processor);
    info.pDatatype = buffer.Put(datatype);
    info.pParameters = buffer.Put(empty);
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_QUEUED;
    info.Priority = 1;
    info.DefaultPriority = 1;
    info.Status = queue.state == IPP_PSTATE_STOPPED ? PRINTER_STATUS_PAUSED : 0;
    info.cJobs = queue.jobCount;
    return info;
  }
};

BOOL PackPrinters(const std::vector<PrinterInfo>& printers, LPBYTE buffer, DWORD cbBuf, LPDWORD needed,
                  LPDWORD returned) {
  size_t size = 0;
  for (const PrinterInfo& printer : printers) size += printer.Size();
  if (size > 0xFFFFFFFFu) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  *needed = static_cast<DWORD>(size);
  if (returned) *returned = 0;
  if (size > cbBuf || (size > 0 && !buffer)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  PackedBuffer packed(buffer, printers.size() * sizeof(PRINTER_INFO_2W));
  for (size_t i = 0; i < printers.size(); ++i) packed.PutRecord(i, printers[i].Fill(packed));
  if (returned) *returned = static_cast<DWORD>(printers.size());
  return TRUE;
}

bool IsLocal(LPCWSTR server) { return !server || !*server; }

}  // namespace

std::vector<std::string> PortsOfMonitor(const std::string& monitor) {
  std::vector<std::string> names;
  std::vector<BYTE> buffer;
  DWORD needed = 0, returned = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (EmbeddedSystem().EnumPortsW(nullptr, 2, buffer.empty() ? nullptr : buffer.data(),
                                    static_cast<DWORD>(buffer.size()), &needed, &returned))
      break;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return names;
    buffer.assign(needed, 0);
    returned = 0;
  }
  for (DWORD i = 0; i < returned; ++i) {
    PORT_INFO_2W port;
    std::memcpy(&port, buffer.data() + i * sizeof port, sizeof port);
    if (port.pPortName && port.pMonitorName && SameName(ToUtf8(port.pMonitorName), monitor))
      names.push_back(ToUtf8(port.pPortName));
  }
  return names;
}

struct CupsPrintSystem::State {
  std::optional<BackendJob> job;
  JobDetails details;
  bool printed = false;
  std::mutex mutex;
  uintptr_t nextHandle = 1;
  std::map<uintptr_t, std::shared_ptr<OpenQueue>> handles;

  std::shared_ptr<OpenQueue> Find(HANDLE handle) {
    std::lock_guard lock(mutex);
    auto found = handles.find(reinterpret_cast<uintptr_t>(handle));
    return found == handles.end() ? nullptr : found->second;
  }

  void FetchDetails() {
    if (details.fetched || !job) return;
    details.fetched = true;
    Queue queue;
    if (GetQueue(job->printer, queue) == ERROR_SUCCESS) details.driver = queue.makeAndModel;
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/jobs/%u",
                     static_cast<unsigned>(job->id));
    ipp_t* request = NewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-priority");
    DWORD status = ERROR_SUCCESS;
    IppMessage response = Send(request, "/", status);
    if (ipp_attribute_t* priority = response.Get() ? ippFindAttribute(response.Get(), "job-priority", IPP_TAG_INTEGER)
                                                   : nullptr)
      details.priority = static_cast<DWORD>(ippGetInteger(priority, 0));
  }
};

CupsPrintSystem::CupsPrintSystem(std::optional<BackendJob> job) : state_(std::make_unique<State>()) {
  state_->job = std::move(job);
}

CupsPrintSystem::~CupsPrintSystem() = default;

bool CupsPrintSystem::JobPrinted() const { return state_->printed; }

BOOL CupsPrintSystem::OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
  if (!printer) return Fail(ERROR_INVALID_PARAMETER);
  *printer = nullptr;
  if (!name || !*name) return Fail(ERROR_INVALID_PRINTER_NAME);
  auto open = std::make_shared<OpenQueue>();
  std::string wanted = ToUtf8(name);
  if (state_->job && SameName(wanted, state_->job->printer)) {
    open->name = state_->job->printer;  // the backend's own queue: known without asking
  } else {
    Queue queue;
    if (DWORD status = GetQueue(wanted, queue); status != ERROR_SUCCESS) return Fail(status);
    open->name = queue.name;
  }
  if (defaults) {
    if (defaults->pDatatype && !SameName(ToUtf8(defaults->pDatatype), "RAW")) return Fail(ERROR_INVALID_DATATYPE);
    if (defaults->DesiredAccess) open->access = defaults->DesiredAccess;
  }
  std::lock_guard lock(state_->mutex);
  uintptr_t handle = state_->nextHandle++;
  state_->handles[handle] = std::move(open);
  *printer = reinterpret_cast<HANDLE>(handle);
  return TRUE;
}

BOOL CupsPrintSystem::OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults) {
  spool::WideOpenPrinterArguments wide(name, defaults);
  return OpenPrinterW(wide.Name(), printer, wide.Defaults());
}

BOOL CupsPrintSystem::ClosePrinter(HANDLE printer) {
  std::shared_ptr<OpenQueue> open;
  {
    std::lock_guard lock(state_->mutex);
    auto found = state_->handles.find(reinterpret_cast<uintptr_t>(printer));
    if (found == state_->handles.end()) return Fail(ERROR_INVALID_HANDLE);
    open = std::move(found->second);
    state_->handles.erase(found);
  }
  open->document.reset();  // an unended document is cancelled, never printed in part
  return TRUE;
}

BOOL CupsPrintSystem::GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buffer, DWORD cbBuf,
                              LPDWORD needed) {
  std::shared_ptr<OpenQueue> open = state_->Find(printer);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  const std::optional<BackendJob>& job = state_->job;
  // Only the job this process was started for is known here.
  if (!job || job->id != jobId || !SameName(open->name, job->printer)) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  if (!needed) return Fail(ERROR_INVALID_PARAMETER);
  state_->FetchDetails();
  std::u16string printerName = ToUtf16(job->printer);
  std::u16string machine = ToUtf16(OptionValue(job->options, "job-originating-host-name").value_or("localhost"));
  std::u16string user = ToUtf16(job->user);
  std::u16string document = ToUtf16(job->title);
  std::u16string datatype = ToUtf16(job->contentType);
  std::u16string processor = u"winprint";
  std::u16string parameters;
  std::u16string driver = ToUtf16(state_->details.driver);
  size_t size = sizeof(JOB_INFO_2W);
  for (const std::u16string* text : {&printerName, &machine, &user, &document, &user, &datatype, &processor,
                                     &parameters, &driver})
    size += PackedSize(*text);
  *needed = static_cast<DWORD>(size);
  if (size > cbBuf || !buffer) return Fail(ERROR_INSUFFICIENT_BUFFER);
  PackedBuffer packed(buffer, sizeof(JOB_INFO_2W));
  JOB_INFO_2W info{};
  info.JobId = job->id;
  info.pPrinterName = packed.Put(printerName);
  info.pMachineName = packed.Put(machine);
  info.pUserName = packed.Put(user);
  info.pDocument = packed.Put(document);
  info.pNotifyName = packed.Put(user);
  info.pDatatype = packed.Put(datatype);
  info.pPrintProcessor = packed.Put(processor);
  info.pParameters = packed.Put(parameters);
  info.pDriverName = packed.Put(driver);
  info.Status = JOB_STATUS_PRINTING | (state_->printed ? JOB_STATUS_PRINTED : 0);
  info.Priority = state_->details.priority;
  info.Position = 1;
  info.TotalPages = 0;
  info.Size = job->size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(job->size);
  std::string created = OptionValue(job->options, "time-at-creation").value_or("");
  std::time_t submitted = created.empty() ? std::time(nullptr) : static_cast<std::time_t>(std::atoll(created.c_str()));
  info.Submitted = spool::UtcSystemTime(static_cast<int64_t>(submitted) * 1000);
  packed.PutRecord(0, info);
  return TRUE;
}

BOOL CupsPrintSystem::SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE, DWORD command) {
  std::shared_ptr<OpenQueue> open = state_->Find(printer);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  const std::optional<BackendJob>& job = state_->job;
  if (!job || job->id != jobId || !SameName(open->name, job->printer)) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 0) return Fail(ERROR_NOT_SUPPORTED);
  switch (command) {
    case 0:
    case JOB_CONTROL_SENT_TO_PRINTER:
      return TRUE;
    case JOB_CONTROL_LAST_PAGE_EJECTED:
      state_->printed = true;
      return TRUE;
    default:
      // The scheduler owns the job's life: the backend's exit code tells it the outcome.
      return Fail(ERROR_NOT_SUPPORTED);
  }
}

DWORD CupsPrintSystem::StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo) {
  std::shared_ptr<OpenQueue> open = state_->Find(printer);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!docInfo) return Fail(ERROR_INVALID_PARAMETER);
  if (!(open->access & PRINTER_ACCESS_USE)) return Fail(ERROR_ACCESS_DENIED);
  const auto* info = reinterpret_cast<const DOC_INFO_1A*>(docInfo);
  if (info->pDatatype && !SameName(info->pDatatype, "RAW")) return Fail(ERROR_INVALID_DATATYPE);
  if (info->pOutputFile) return Fail(ERROR_NOT_SUPPORTED);
  if (open->document) return Fail(ERROR_INVALID_PRINTER_STATE);
  // Printed from inside the backend's job: that job's data once more, one hop further, on
  // behalf of the job's own user.
  unsigned hops = 0;
  unsigned budget = kReprintBudget;
  std::string user;
  if (state_->job) {
    if (state_->job->hops >= kMaxReprintHops) return Fail(ERROR_PRINTQ_FULL);
    unsigned& left = state_->job->reprintBudget;
    if (left == 0) return Fail(ERROR_NOT_ENOUGH_QUOTA);
    // One reprint taken; half of what is left travels with it, the rest stays for this job's
    // later reprints, so one original job never causes more than kReprintBudget in all.
    --left;
    budget = left / 2;
    left -= budget;
    hops = state_->job->hops + 1;
    user = state_->job->user;
  }
  auto document = std::make_unique<RawJob>();
  if (DWORD status = document->Start(open->name, info->pDocName ? info->pDocName : "", user, hops, budget);
      status != ERROR_SUCCESS)
    return Fail(status);
  DWORD id = document->Id();
  open->document = std::move(document);
  return id;
}

BOOL CupsPrintSystem::StartPagePrinter(HANDLE printer) {
  std::shared_ptr<OpenQueue> open = state_->Find(printer);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  return open->document ? TRUE : Fail(ERROR_SPL_NO_STARTDOC);
}

BOOL CupsPrintSystem::WritePrinter(HANDLE printer, LPVOID data, DWORD cbBuf, LPDWORD written) {
  if (written) *written = 0;
  std::shared_ptr<OpenQueue> open = state_->Find(printer);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  if (!open->document) return Fail(ERROR_SPL_NO_STARTDOC);
  if (!written || (!data && cbBuf > 0)) return Fail(ERROR_INVALID_PARAMETER);
  if (DWORD status = open->document->Write(data, cbBuf); status != ERROR_SUCCESS) return Fail(status);
  *written = cbBuf;
  return TRUE;
}

BOOL CupsPrintSystem::EndPagePrinter(HANDLE printer) { return StartPagePrinter(printer); }

BOOL CupsPrintSystem::EndDocPrinter(HANDLE printer) {
  std::shared_ptr<OpenQueue> open = state_->Find(printer);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  if (!open->document) return Fail(ERROR_SPL_NO_STARTDOC);
  std::unique_ptr<RawJob> document = std::move(open->document);
  if (DWORD status = document->Finish(); status != ERROR_SUCCESS) return Fail(status);
  return TRUE;
}

BOOL CupsPrintSystem::EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printers, DWORD cbBuf,
                                    LPDWORD needed, LPDWORD returned) {
  if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
  *returned = 0;
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  if (!IsLocal(name)) return Fail(ERROR_INVALID_NAME);
  std::vector<PrinterInfo> found;
  if (flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME | PRINTER_ENUM_DEFAULT)) {
    std::vector<Queue> queues;
    if (DWORD status = ListQueues(queues); status != ERROR_SUCCESS) return Fail(status);
    for (const Queue& queue : queues) found.emplace_back(queue);
  }
  return PackPrinters(found, printers, cbBuf, needed, returned);
}

BOOL CupsPrintSystem::GetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD cbBuf, LPDWORD needed) {
  std::shared_ptr<OpenQueue> open = state_->Find(printer);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  if (!needed) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  Queue queue;
  if (DWORD status = GetQueue(open->name, queue); status != ERROR_SUCCESS) return Fail(status);
  std::vector<PrinterInfo> one{PrinterInfo(queue)};
  return PackPrinters(one, info, cbBuf, needed, nullptr);
}

BOOL CupsPrintSystem::SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command) {
  std::shared_ptr<OpenQueue> open = state_->Find(printer);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  if (!(open->access & PRINTER_ACCESS_ADMINISTER)) return Fail(ERROR_ACCESS_DENIED);
  if (level == 0) return Fail(ERROR_NOT_SUPPORTED);
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  if (!info || command != 0) return Fail(ERROR_INVALID_PARAMETER);
  PRINTER_INFO_2W given;
  std::memcpy(&given, info, sizeof given);
  if (given.pPrinterName && !SameName(ToUtf8(given.pPrinterName), open->name)) return Fail(ERROR_NOT_SUPPORTED);
  // Only the port is a CUPS queue's to change here: it becomes the queue's device URI.
  std::string port = given.pPortName ? ToUtf8(given.pPortName) : "";
  if (port.empty()) return Fail(ERROR_UNKNOWN_PORT);
  Queue queue;
  if (DWORD status = GetQueue(open->name, queue); status != ERROR_SUCCESS) return Fail(status);
  if (queue.port == port) return TRUE;
  if (DWORD status = SetQueuePort(open->name, port); status != ERROR_SUCCESS) return Fail(status);
  return TRUE;
}

BOOL CupsPrintSystem::EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD cbBuf, LPDWORD needed,
                                 LPDWORD returned) {
  return EmbeddedSystem().EnumPortsW(name, level, ports, cbBuf, needed, returned);
}

BOOL CupsPrintSystem::AddMonitorW(LPWSTR name, DWORD level, LPBYTE monitor) {
  // The backend first: a monitor recorded without it would leave queues that can't print.
  if (IsLocal(name) && level == 2 && monitor) {
    std::string source = BackendSource();
    if (source.empty()) return Fail(ERROR_FILE_NOT_FOUND);
    if (DWORD status = InstallBackend(source); status != ERROR_SUCCESS) return Fail(status);
  }
  return EmbeddedSystem().AddMonitorW(name, level, monitor);
}

BOOL CupsPrintSystem::DeleteMonitorW(LPWSTR name, LPWSTR environment, LPWSTR monitorName) {
  if (!IsLocal(name)) return Fail(ERROR_INVALID_NAME);
  // A queue that still sends its jobs to the monitor's ports keeps it.
  std::vector<Queue> queues;
  if (DWORD status = ListQueues(queues); status != ERROR_SUCCESS) return Fail(status);
  const std::vector<std::string> ports = monitorName ? PortsOfMonitor(ToUtf8(monitorName)) : std::vector<std::string>();
  for (const Queue& queue : queues) {
    std::optional<std::string> port = QuorvanePort(queue.deviceUri);
    if (!port) continue;
    for (const std::string& own : ports)
      if (SameName(own, *port)) return Fail(ERROR_PRINT_MONITOR_IN_USE);
  }
  if (!EmbeddedSystem().DeleteMonitorW(name, environment, monitorName)) return FALSE;
  if (DWORD status = RemoveBackend(); status != ERROR_SUCCESS) return Fail(status);
  return TRUE;
}

BOOL CupsPrintSystem::AddPortW(LPWSTR name, HWND window, LPWSTR monitorName) {
  return EmbeddedSystem().AddPortW(name, window, monitorName);
}

BOOL CupsPrintSystem::ConfigurePortW(LPWSTR name, HWND window, LPWSTR portName) {
  return EmbeddedSystem().ConfigurePortW(name, window, portName);
}

BOOL CupsPrintSystem::DeletePortW(LPWSTR name, HWND window, LPWSTR portName) {
  return EmbeddedSystem().DeletePortW(name, window, portName);
}

}  // namespace qv::cups

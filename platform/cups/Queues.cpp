// The scheduler's queues and jobs, through IPP requests.
#include "Ipp.h"
#include "RawJob.h"

#include <qv/cups.h>

#include <winerror.h>

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace qv::cups {
namespace {

const char* const kQueueAttributes[] = {"printer-name",  "device-uri",    "printer-make-and-model",
                                        "printer-info",  "printer-location", "printer-state",
                                        "printer-state-message", "printer-is-accepting-jobs",
                                        "queued-job-count"};

void AddRequestedAttributes(ipp_t* request) {
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                sizeof kQueueAttributes / sizeof kQueueAttributes[0], nullptr, kQueueAttributes);
}

// Reads the queue described by the attributes from `from` on, up to the next separator; moves
// `from` past them.
Queue ReadQueue(ipp_attribute_t*& from, ipp_t* response) {
  Queue queue;
  for (; from && ippGetGroupTag(from) == IPP_TAG_PRINTER; from = ippNextAttribute(response)) {
    const char* name = ippGetName(from);
    if (!name) continue;
    std::string attribute = name;
    const char* text = ippGetString(from, 0, nullptr);
    if (attribute == "printer-name" && text) queue.name = text;
    else if (attribute == "device-uri" && text) queue.deviceUri = text;
    else if (attribute == "printer-make-and-model" && text) queue.makeAndModel = text;
    else if (attribute == "printer-info" && text) queue.info = text;
    else if (attribute == "printer-location" && text) queue.location = text;
    else if (attribute == "printer-state-message" && text) queue.stateMessage = text;
    else if (attribute == "printer-state") queue.state = ippGetInteger(from, 0);
    else if (attribute == "printer-is-accepting-jobs") queue.accepting = ippGetBoolean(from, 0) != 0;
    else if (attribute == "queued-job-count") queue.jobCount = static_cast<DWORD>(ippGetInteger(from, 0));
  }
  queue.port = PortOfDeviceUri(queue.deviceUri);
  return queue;
}

bool LessNoCase(const Queue& a, const Queue& b) { return strcasecmp(a.name.c_str(), b.name.c_str()) < 0; }

// A name CUPS takes for a queue: printable, no space, '/', '#' or '\\', at most 127 bytes.
bool IsQueueName(const std::string& name) {
  if (name.empty() || name.size() > 127) return false;
  for (unsigned char c : name)
    if (c <= ' ' || c == 127 || c == '/' || c == '#' || c == '\\') return false;
  return true;
}

DWORD ModifyQueue(const std::string& name, const std::string* deviceUri, const std::string* info, bool enable) {
  ipp_t* request = NewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, name);
  if (deviceUri)
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, deviceUri->c_str());
  if (info) ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr, info->c_str());
  if (enable) {
    ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
  }
  DWORD status = ERROR_SUCCESS;
  Send(request, "/admin/", status);
  return status;
}

}  // namespace

DWORD ListQueues(std::vector<Queue>& queues) {
  queues.clear();
  ipp_t* request = NewRequest(IPP_OP_CUPS_GET_PRINTERS);
  AddRequestedAttributes(request);
  DWORD status = ERROR_SUCCESS;
  IppMessage response = Send(request, "/", status);
  if (status == ERROR_INVALID_PRINTER_NAME) return ERROR_SUCCESS;  // no queue at all
  if (status != ERROR_SUCCESS) return status;
  ipp_attribute_t* attribute = ippFirstAttribute(response.Get());
  while (attribute) {
    while (attribute && ippGetGroupTag(attribute) != IPP_TAG_PRINTER) attribute = ippNextAttribute(response.Get());
    if (!attribute) break;
    Queue queue = ReadQueue(attribute, response.Get());
    if (!queue.name.empty()) queues.push_back(std::move(queue));
  }
  std::sort(queues.begin(), queues.end(), LessNoCase);
  return ERROR_SUCCESS;
}

DWORD GetQueue(const std::string& name, Queue& queue) {
  if (!IsQueueName(name)) return ERROR_INVALID_PRINTER_NAME;
  ipp_t* request = NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, name);
  AddRequestedAttributes(request);
  DWORD status = ERROR_SUCCESS;
  IppMessage response = Send(request, "/", status);
  if (status != ERROR_SUCCESS) return status;
  ipp_attribute_t* attribute = ippFirstAttribute(response.Get());
  while (attribute && ippGetGroupTag(attribute) != IPP_TAG_PRINTER) attribute = ippNextAttribute(response.Get());
  queue = ReadQueue(attribute, response.Get());
  // A class of the same name answers too; only a queue with a device is a printer here.
  return queue.name.empty() ? static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME) : ERROR_SUCCESS;
}

DWORD AddRawQueue(const std::string& name, const std::string& port, const std::string& info) {
  if (!IsQueueName(name)) return ERROR_INVALID_PRINTER_NAME;
  if (port.empty()) return ERROR_UNKNOWN_PORT;
  Queue existing;
  DWORD status = GetQueue(name, existing);
  if (status == ERROR_SUCCESS) return ERROR_PRINTER_ALREADY_EXISTS;
  if (status != ERROR_INVALID_PRINTER_NAME) return status;
  std::string uri = DeviceUriOfPort(port);
  return ModifyQueue(name, &uri, info.empty() ? nullptr : &info, true);
}

DWORD DeleteQueue(const std::string& name) {
  if (!IsQueueName(name)) return ERROR_INVALID_PRINTER_NAME;
  DWORD status = ERROR_SUCCESS;
  Send(NewRequest(IPP_OP_CUPS_DELETE_PRINTER, name), "/admin/", status);
  return status;
}

DWORD SetQueuePort(const std::string& name, const std::string& port) {
  if (!IsQueueName(name)) return ERROR_INVALID_PRINTER_NAME;
  if (port.empty()) return ERROR_UNKNOWN_PORT;
  Queue existing;  // modifying a queue that isn't there would make one
  if (DWORD status = GetQueue(name, existing); status != ERROR_SUCCESS) return status;
  std::string uri = DeviceUriOfPort(port);
  return ModifyQueue(existing.name, &uri, nullptr, false);
}

DWORD SubmitRawJob(const std::string& queue, const std::string& title, const std::string& user, int fd,
                   DWORD& jobId) {
  jobId = 0;
  RawJob job;
  if (DWORD status = job.Start(queue, title, user, 0); status != ERROR_SUCCESS) return status;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ERROR_READ_FAULT;  // the job is cancelled with `job`
    if (got == 0) break;
    if (DWORD status = job.Write(buffer.data(), static_cast<size_t>(got)); status != ERROR_SUCCESS) return status;
  }
  if (DWORD status = job.Finish(); status != ERROR_SUCCESS) return status;
  jobId = job.Id();
  return ERROR_SUCCESS;
}

DWORD ListActiveJobs(std::vector<CupsJob>& jobs) {
  jobs.clear();
  cups_job_t* found = nullptr;
  int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &found, nullptr, 0, CUPS_WHICHJOBS_ACTIVE);
  if (count < 0) return StatusFromIpp();
  for (int i = 0; i < count; ++i) {
    CupsJob job;
    job.id = static_cast<DWORD>(found[i].id);
    job.queue = found[i].dest ? found[i].dest : "";
    job.title = found[i].title ? found[i].title : "";
    job.user = found[i].user ? found[i].user : "";
    job.size = static_cast<uint64_t>(found[i].size) * 1024;
    switch (found[i].state) {
      case IPP_JSTATE_PENDING: job.state = "pending"; break;
      case IPP_JSTATE_HELD: job.state = "held"; break;
      case IPP_JSTATE_PROCESSING: job.state = "processing"; break;
      case IPP_JSTATE_STOPPED: job.state = "stopped"; break;
      case IPP_JSTATE_CANCELED: job.state = "canceled"; break;
      case IPP_JSTATE_ABORTED: job.state = "aborted"; break;
      default: job.state = "completed"; break;
    }
    jobs.push_back(std::move(job));
  }
  cupsFreeJobs(count, found);
  std::sort(jobs.begin(), jobs.end(), [](const CupsJob& a, const CupsJob& b) { return a.id < b.id; });
  return ERROR_SUCCESS;
}

}  // namespace qv::cups

namespace qv::cups {

DWORD CancelJob(DWORD jobId) {
  if (cupsCancelJob2(CUPS_HTTP_DEFAULT, nullptr, static_cast<int>(jobId), 0) != IPP_STATUS_OK) return StatusFromIpp();
  return ERROR_SUCCESS;
}

}  // namespace qv::cups

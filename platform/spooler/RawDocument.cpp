#include "RawDocument.h"

#include "PrinterStore.h"
#include "SpoolFolder.h"

#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>

namespace qv::spool {
namespace {

// The document is submitted by this process: its user and its machine.
std::string ProcessUser() {
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name && *entry->pw_name)
    return entry->pw_name;
  const char* user = std::getenv("USER");
  return user && *user ? user : std::to_string(getuid());
}

std::string MachineName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || !*name) return "localhost";
  return name;
}

int64_t NowMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

struct Table {
  std::mutex mutex;
  std::map<HANDLE, std::shared_ptr<RawDocument>> documents;
};

Table& TheTable() {
  static auto* table = new Table;
  return *table;
}

}  // namespace

DWORD RawDocument::Start(const std::string& printer, const std::string& document, unsigned hops,
                         unsigned reprintBudget) {
  std::lock_guard lock(mutex_);
  PrinterRecord record;
  if (DWORD status = ReadPrinter(printer, record); status != ERROR_SUCCESS) return status;
  DWORD id = 0;
  if (DWORD status = AllocateJobId(id); status != ERROR_SUCCESS) return status;
  if (DWORD status = staged_->data.Create(DataPath(id)); status != ERROR_SUCCESS) return status;
  flock(staged_->data.Fd(), LOCK_EX);  // a new file: nobody else can hold it
  JobDescription& job = staged_->job;
  job.id = id;
  job.printer = record.name;
  job.machine = MachineName();
  job.user = ProcessUser();
  job.notifyName = job.user;
  job.document = document;
  job.datatype = "RAW";
  job.driver = record.driver;
  job.submitted = NowMilliseconds();
  job.hops = hops;
  job.reprintBudget = reprintBudget;
  return ERROR_SUCCESS;
}

void RawDocument::StartPage() {
  std::lock_guard lock(mutex_);
  pageStarted_ = true;
}

void RawDocument::EndPage() {
  std::lock_guard lock(mutex_);
  if (pageStarted_) ++staged_->job.totalPages;
  pageStarted_ = false;
}

DWORD RawDocument::Write(const void* data, DWORD size) {
  std::lock_guard lock(mutex_);
  if (failure_ != ERROR_SUCCESS) return failure_;
  if (DWORD status = staged_->data.Write(data, size); status != ERROR_SUCCESS) {
    failure_ = status;
    return status;
  }
  staged_->job.size += size;
  return ERROR_SUCCESS;
}

DWORD RawDocument::Finish(Acceptance how) {
  std::lock_guard lock(mutex_);
  // Data the spool did not take in full is not printed: that job would be cut short.
  if (failure_ != ERROR_SUCCESS) return ERROR_PRINT_CANCELLED;
  // Accepted like a batch of one; the claim on the data stays with the document.
  std::vector<std::unique_ptr<StagedJob>> batch;
  batch.push_back(std::move(staged_));
  const DWORD status = AcceptJobs(batch, how);
  staged_ = std::move(batch.front());
  return status;
}

DWORD RawDocuments::Add(HANDLE printer, std::shared_ptr<RawDocument> document) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  if (!table.documents.emplace(printer, std::move(document)).second) return ERROR_INVALID_PRINTER_STATE;
  return ERROR_SUCCESS;
}

std::shared_ptr<RawDocument> RawDocuments::Find(HANDLE printer) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  auto found = table.documents.find(printer);
  return found == table.documents.end() ? nullptr : found->second;
}

std::shared_ptr<RawDocument> RawDocuments::Take(HANDLE printer) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  auto found = table.documents.find(printer);
  if (found == table.documents.end()) return nullptr;
  std::shared_ptr<RawDocument> document = std::move(found->second);
  table.documents.erase(found);
  return document;
}

}  // namespace qv::spool

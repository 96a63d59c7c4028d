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

DWORD RawDocument::Start(const std::string& printer, const std::string& document, unsigned hops) {
  std::lock_guard lock(mutex_);
  PrinterRecord record;
  if (DWORD status = ReadPrinter(printer, record); status != ERROR_SUCCESS) return status;
  DWORD id = 0;
  if (DWORD status = AllocateJobId(id); status != ERROR_SUCCESS) return status;
  if (DWORD status = data_.Create(DataPath(id)); status != ERROR_SUCCESS) return status;
  flock(data_.Fd(), LOCK_EX);  // a new file: nobody else can hold it
  job_.id = id;
  job_.printer = record.name;
  job_.machine = MachineName();
  job_.user = ProcessUser();
  job_.notifyName = job_.user;
  job_.document = document;
  job_.datatype = "RAW";
  job_.driver = record.driver;
  job_.submitted = NowMilliseconds();
  job_.hops = hops;
  return ERROR_SUCCESS;
}

void RawDocument::StartPage() {
  std::lock_guard lock(mutex_);
  pageStarted_ = true;
}

void RawDocument::EndPage() {
  std::lock_guard lock(mutex_);
  if (pageStarted_) ++job_.totalPages;
  pageStarted_ = false;
}

DWORD RawDocument::Write(const void* data, DWORD size) {
  std::lock_guard lock(mutex_);
  if (failure_ != ERROR_SUCCESS) return failure_;
  if (DWORD status = data_.Write(data, size); status != ERROR_SUCCESS) {
    failure_ = status;
    return status;
  }
  job_.size += size;
  return ERROR_SUCCESS;
}

DWORD RawDocument::Finish() {
  std::lock_guard lock(mutex_);
  // Data the spool did not take in full is not printed: that job would be cut short.
  if (failure_ != ERROR_SUCCESS) return ERROR_PRINT_CANCELLED;
  // Flushed before its rename: the data is on disk before the job is accepted.
  if (DWORD status = data_.Commit(); status != ERROR_SUCCESS) return status;
  // Flushed before its rename (WriteJob): with the data, what makes the job.
  if (DWORD status = WriteJob(job_); status != ERROR_SUCCESS) {
    unlink(DataPath(job_.id).c_str());
    return status;
  }
  // Makes both renames durable: the document is accepted as a job only now.
  return FlushSpoolFolder();
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

// One raw job submitted to a queue while its data is written: created, its one document
// streamed, finished. A job that is not finished is cancelled when the object goes, so no
// partial job ever prints.
#pragma once
#include "Ipp.h"

#include <windef.h>

#include <memory>
#include <string>

namespace qv::cups {

class RawJob {
 public:
  RawJob() = default;
  ~RawJob();
  RawJob(const RawJob&) = delete;
  RawJob& operator=(const RawJob&) = delete;

  // Creates the job owned by `user` (empty: the process's user), carrying `hops` as its
  // kHopsOption when above 0, and opens its document. ERROR_INVALID_PRINTER_NAME for an
  // unknown queue.
  DWORD Start(const std::string& queue, const std::string& title, const std::string& user, unsigned hops);
  DWORD Write(const void* data, size_t size);
  // Ends the document: the job is the scheduler's from now on.
  DWORD Finish();
  // Cancels the job and drops its document (also done by the destructor when unfinished).
  void Abandon();

  DWORD Id() const { return id_; }
  bool Started() const { return id_ != 0; }
  bool Failed() const { return failed_; }

 private:
  std::unique_ptr<Connection> connection_;
  std::string queue_;
  std::string user_;
  DWORD id_ = 0;
  bool finished_ = false;
  bool failed_ = false;
};

}  // namespace qv::cups

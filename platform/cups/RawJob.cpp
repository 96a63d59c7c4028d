#include "RawJob.h"

#include <qv/cups.h>

#include <winerror.h>

#include <string>

namespace qv::cups {
namespace {

// Makes `user` the requesting user of this thread's requests while it lives: libcups sends
// cupsUser() with every request, and a job belongs to whoever requested it.
class RequestingUser {
 public:
  explicit RequestingUser(const std::string& user) : previous_(cupsUser()) {
    if (!user.empty()) cupsSetUser(user.c_str());
  }
  ~RequestingUser() { cupsSetUser(previous_.c_str()); }
  RequestingUser(const RequestingUser&) = delete;
  RequestingUser& operator=(const RequestingUser&) = delete;

 private:
  std::string previous_;
};

}  // namespace

RawJob::~RawJob() {
  if (id_ && !finished_) Abandon();
}

DWORD RawJob::Start(const std::string& queue, const std::string& title, const std::string& user, unsigned hops) {
  if (id_) return ERROR_INVALID_PRINTER_STATE;
  Queue found;
  if (DWORD status = GetQueue(queue, found); status != ERROR_SUCCESS) return status;
  connection_ = std::make_unique<Connection>();
  if (!connection_->Get()) return ERROR_NOT_READY;
  queue_ = found.name;
  user_ = user;
  RequestingUser requesting(user_);
  cups_option_t* options = nullptr;
  int count = 0;
  std::string hopText = std::to_string(hops);
  if (hops > 0) count = cupsAddOption(kHopsOption, hopText.c_str(), count, &options);
  int id = cupsCreateJob(connection_->Get(), queue_.c_str(), title.c_str(), count, options);
  cupsFreeOptions(count, options);
  if (id <= 0) return StatusFromIpp();
  id_ = static_cast<DWORD>(id);
  if (cupsStartDocument(connection_->Get(), queue_.c_str(), id, title.c_str(), CUPS_FORMAT_RAW, 1) !=
      HTTP_STATUS_CONTINUE) {
    failed_ = true;
    DWORD status = StatusFromIpp();
    Abandon();
    return status != ERROR_SUCCESS ? status : static_cast<DWORD>(ERROR_WRITE_FAULT);
  }
  return ERROR_SUCCESS;
}

DWORD RawJob::Write(const void* data, size_t size) {
  if (!id_ || finished_) return ERROR_SPL_NO_STARTDOC;
  if (failed_) return ERROR_WRITE_FAULT;
  if (size == 0) return ERROR_SUCCESS;
  if (cupsWriteRequestData(connection_->Get(), static_cast<const char*>(data), size) != HTTP_STATUS_CONTINUE) {
    failed_ = true;
    return ERROR_WRITE_FAULT;
  }
  return ERROR_SUCCESS;
}

DWORD RawJob::Finish() {
  if (!id_ || finished_) return ERROR_SPL_NO_STARTDOC;
  if (failed_) {
    Abandon();
    return ERROR_PRINT_CANCELLED;
  }
  RequestingUser requesting(user_);
  ipp_status_t result = cupsFinishDocument(connection_->Get(), queue_.c_str());
  if (result > IPP_STATUS_OK_CONFLICTING) {
    DWORD status = StatusFromIpp();
    Abandon();
    return status != ERROR_SUCCESS ? status : static_cast<DWORD>(ERROR_WRITE_FAULT);
  }
  finished_ = true;
  connection_.reset();
  return ERROR_SUCCESS;
}

void RawJob::Abandon() {
  if (!id_ || finished_) return;
  connection_.reset();  // the unfinished document goes with the connection
  RequestingUser requesting(user_);
  cupsCancelJob2(CUPS_HTTP_DEFAULT, queue_.c_str(), static_cast<int>(id_), 0);
  finished_ = true;
}

}  // namespace qv::cups

// Small owners and helpers for IPP requests to the scheduler through libcups.
#pragma once
#include <windef.h>

#include <cups/cups.h>

#include <string>

namespace qv::cups {

// Owns an IPP message.
class IppMessage {
 public:
  explicit IppMessage(ipp_t* message = nullptr) : message_(message) {}
  ~IppMessage() { ippDelete(message_); }
  IppMessage(const IppMessage&) = delete;
  IppMessage& operator=(const IppMessage&) = delete;
  IppMessage(IppMessage&& other) noexcept : message_(other.message_) { other.message_ = nullptr; }
  ipp_t* Get() const { return message_; }
  ipp_t* Release() {
    ipp_t* message = message_;
    message_ = nullptr;
    return message;
  }

 private:
  ipp_t* message_;
};

// Owns a connection to the scheduler.
class Connection {
 public:
  Connection();
  ~Connection() { httpClose(http_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  http_t* Get() const { return http_; }

 private:
  http_t* http_;
};

// "ipp://localhost/printers/<name>", the URI requests name a queue by.
std::string QueueUri(const std::string& name);

// A request on `operation` with the attributes every request carries (charset, language,
// requesting-user-name) and, when `queue` is given, printer-uri.
ipp_t* NewRequest(ipp_op_t operation, const std::string& queue = {});

// Sends `request` (taken) to `resource` on a connection of its own; the response when the
// scheduler accepted it, else null with `status` set.
IppMessage Send(ipp_t* request, const char* resource, DWORD& status);

// The status that stands for the last IPP failure of this thread; the scheduler's own words are
// kept for LastSchedulerMessage.
DWORD StatusFromIpp();

// The text of an attribute (empty when missing).
std::string Text(ipp_t* message, const char* name, ipp_tag_t tag = IPP_TAG_ZERO);

}  // namespace qv::cups

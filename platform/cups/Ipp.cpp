#include "Ipp.h"

#include <qv/cups.h>

#include <winerror.h>

namespace qv::cups {
namespace {

thread_local std::string lastMessage;

}  // namespace

Connection::Connection()
    : http_(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr)) {}

std::string QueueUri(const std::string& name) {
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
                   name.c_str());
  return uri;
}

ipp_t* NewRequest(ipp_op_t operation, const std::string& queue) {
  ipp_t* request = ippNewRequest(operation);
  if (!queue.empty())
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, QueueUri(queue).c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  return request;
}

IppMessage Send(ipp_t* request, const char* resource, DWORD& status) {
  Connection connection;
  if (!connection.Get()) {
    ippDelete(request);
    lastMessage = std::string("the CUPS scheduler (") + cupsServer() + ") can't be reached";
    status = ERROR_NOT_READY;
    return IppMessage();
  }
  IppMessage response(cupsDoRequest(connection.Get(), request, resource));
  if (!response.Get() || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    status = StatusFromIpp();
    return IppMessage();
  }
  status = ERROR_SUCCESS;
  return response;
}

DWORD StatusFromIpp() {
  ipp_status_t error = cupsLastError();
  const char* text = cupsLastErrorString();
  lastMessage = text ? text : ippErrorString(error);
  switch (error) {
    case IPP_STATUS_OK:
    case IPP_STATUS_OK_IGNORED_OR_SUBSTITUTED:
    case IPP_STATUS_OK_CONFLICTING:
      return ERROR_SUCCESS;
    case IPP_STATUS_ERROR_NOT_FOUND:
      return ERROR_INVALID_PRINTER_NAME;
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
    case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED:
      return ERROR_ACCESS_DENIED;
    case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
      return ERROR_NOT_READY;
    case IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED:
      return ERROR_INVALID_DATATYPE;
    case IPP_STATUS_ERROR_BAD_REQUEST:
    case IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES:
      return ERROR_INVALID_PARAMETER;
    case IPP_STATUS_ERROR_TOO_MANY_JOBS:
      return ERROR_PRINTQ_FULL;
    default:
      return ERROR_GEN_FAILURE;
  }
}

std::string Text(ipp_t* message, const char* name, ipp_tag_t tag) {
  ipp_attribute_t* attribute = ippFindAttribute(message, name, tag);
  const char* value = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
  return value ? value : "";
}

std::string LastSchedulerMessage() { return lastMessage; }

}  // namespace qv::cups

namespace qv::cups {

void UseScheduler(const std::string& server) { cupsSetServer(server.empty() ? nullptr : server.c_str()); }

}  // namespace qv::cups

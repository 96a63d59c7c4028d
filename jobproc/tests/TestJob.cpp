#include "TestJob.h"

#include <qv/utf.h>

#include <stdexcept>

#include "Job.h"
#include "Text.h"

namespace jobproc_testing {
namespace {

void PutText(_Job* job, HRESULT (STDMETHODCALLTYPE _Job::*put)(BSTR), const std::string& value) {
  MarrowjetUI::Bstr text(qv::ToUtf16(value));
  if (FAILED((job->*put)(text.Get()))) throw std::runtime_error("put failed");
}

}  // namespace

TestJob::TestJob() {
  if (FAILED(MarrowjetUI::Job::CreateInstance(IID__Job, reinterpret_cast<void**>(&job_))))
    throw std::runtime_error("cannot create a job");
}

TestJob::~TestJob() { job_->Release(); }

TestJob& TestJob::Id(LONG value) {
  job_->put_ID(value);
  return *this;
}

TestJob& TestJob::User(const std::string& value) {
  PutText(job_, &_Job::put_UserName, value);
  return *this;
}

TestJob& TestJob::Machine(const std::string& value) {
  PutText(job_, &_Job::put_MachineName, value);
  return *this;
}

TestJob& TestJob::Document(const std::string& value) {
  PutText(job_, &_Job::put_DocumentName, value);
  return *this;
}

TestJob& TestJob::Printer(const std::string& value) {
  PutText(job_, &_Job::put_PrinterName, value);
  return *this;
}

std::string TestJob::Convert(const std::string& source, DATE date) const {
  MarrowjetUI::Bstr text(qv::ToUtf16(source));
  BSTR argument = text.Get();
  MarrowjetUI::Bstr result;
  if (FAILED(job_->Convert(&argument, &date, result.Out()))) throw std::runtime_error("Convert failed");
  return qv::ToUtf8(result.ToText());
}

DATE DateOf(int year, int month, int day, int hour, int minute, int second) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(hour);
  time.wMinute = static_cast<WORD>(minute);
  time.wSecond = static_cast<WORD>(second);
  DATE date = 0;
  if (!SystemTimeToVariantTime(&time, &date)) throw std::runtime_error("bad date");
  return date;
}

}  // namespace jobproc_testing

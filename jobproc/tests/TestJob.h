// A job record for the tests, filled through its interface as the monitor fills it.
#pragma once
#include <MarrowjetInterfaces.h>

#include <string>

namespace jobproc_testing {

class TestJob {
 public:
  TestJob();
  ~TestJob();
  TestJob(const TestJob&) = delete;
  TestJob& operator=(const TestJob&) = delete;

  _Job* Get() const { return job_; }

  TestJob& Id(LONG value);
  TestJob& User(const std::string& value);
  TestJob& Document(const std::string& value);
  TestJob& Machine(const std::string& value);
  TestJob& Printer(const std::string& value);

  // Convert through the interface, the template and result in UTF-8.
  std::string Convert(const std::string& source, DATE date) const;

 private:
  _Job* job_ = nullptr;
};

// The OLE date of a local date and time.
DATE DateOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace jobproc_testing

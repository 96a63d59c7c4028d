// A private scheduler with Quorvane installed into it through "quorvane install --cups", a
// capture backend for a second printer, and helpers to set ports and print.
#pragma once
#include "PrivateScheduler.h"

#include <qv/cups.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qv::testing {

inline constexpr char kMonitorKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";

// Writes a port's script (actions separated by CRLF) into the prefix's registry.
void SetScript(const std::string& port, const std::string& script);

Ran Quorvane(const std::vector<std::string>& args);

class CupsFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  PrivateScheduler& Scheduler() { return *scheduler_; }
  std::string DriveC() const { return scheduler_->Prefix() + "/drive_c"; }
  // A raw queue on `port` (a Quorvane port name, or a device URI such as "capture:/").
  void AddQueue(const std::string& name, const std::string& port);
  // Waits until the scheduler has no unfinished job.
  bool AllJobsDone();
  cups::Queue QueueState(const std::string& name);
  std::string Log() const;

  // Writes `size` bytes of varied binary data to a file in the tree; its path.
  std::string MakeData(const std::string& name, size_t size);

 private:
  std::unique_ptr<PrivateScheduler> scheduler_;
};

}  // namespace qv::testing

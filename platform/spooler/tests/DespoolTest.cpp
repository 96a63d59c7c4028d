// Jobs from the spool to their ports: "FILE:", a monitor's port, failures, several at once.
#include "SpoolerFixture.h"

#include "../SpoolFolder.h"

#include <qv/diagnostics.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <fstream>
#include <set>
#include <thread>

namespace qv::testing {
namespace {

std::string Printed(const TempPrefix& prefix, const std::string& printer, DWORD id) {
  return prefix.Path("spool/printed/" + printer + "/" + std::to_string(id) + ".prn");
}

TEST_F(SpoolerTest, FilePortSavesTheJobUnchangedAndEmptiesTheSpool) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  std::string data = AllByteValues(300);  // more than one piece of 64 KiB
  DWORD id = Spool("Office", data);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(SpoolLeftovers().size(), 2u) << "the job's data and its description";
  ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(Printed(prefix, "Office", id)), data);
  EXPECT_TRUE(SpoolLeftovers().empty());
  EXPECT_EQ(DespoolJob(id), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "no longer in the spool";
}

// Regular files are spooled and saved by the kernel's copy, the rest through a buffer: every
// source reaches the port whole.
TEST_F(SpoolerTest, EveryKindOfInputIsSpooledWhole) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  std::string big = AllByteValues(5000);  // more than one step of the copy's progress
  std::string shared = "/dev/shm/qv-spool-" + std::to_string(getpid());
  std::ofstream(shared, std::ios::binary) << "from tmpfs";
  std::ofstream(prefix.Path("big"), std::ios::binary) << big;
  std::ofstream(prefix.Path("empty"), std::ios::binary);
  struct Case {
    const char* name;
    std::string path;  // empty: a pipe carrying `piped`
    std::string piped;
  } cases[] = {
      {"a large regular file", prefix.Path("big"), ""},
      {"an empty file", prefix.Path("empty"), ""},
      {"a file on another file system", shared, ""},
      {"a file whose size the kernel gives as 0", "/proc/version", ""},
      {"a pipe", "", "through a pipe"},
  };
  for (const Case& c : cases) {
    int fd = -1;
    if (c.path.empty()) {
      int fds[2];
      ASSERT_EQ(pipe(fds), 0);
      ASSERT_EQ(write(fds[1], c.piped.data(), c.piped.size()), static_cast<ssize_t>(c.piped.size()));
      close(fds[1]);
      fd = fds[0];
    } else {
      fd = open(c.path.c_str(), O_RDONLY);
    }
    ASSERT_GE(fd, 0) << c.name;
    JobSubmission job{"Office", c.name, "ann", "pc1", 0};
    DWORD id = 0;
    ASSERT_EQ(SpoolJob(job, fd, id), ERROR_SUCCESS) << c.name;
    close(fd);
    std::string expected = c.path.empty() ? c.piped : ReadFile(c.path);
    JobEntry entry;
    ASSERT_EQ(GetJobEntry(id, entry), ERROR_SUCCESS) << c.name;
    EXPECT_EQ(entry.size, expected.size()) << c.name;
    ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS) << c.name;
    EXPECT_EQ(ReadFile(Printed(prefix, "Office", id)), expected) << c.name;
  }
  std::filesystem::remove(shared);
  EXPECT_TRUE(SpoolLeftovers().empty());
}

TEST_F(SpoolerTest, MonitorPortGetsTheJobThroughTheEntryPointsInOrder) {
  InstallTestMonitor({"QV1"});
  ASSERT_EQ(AddPrinter("Archive", "QV1", "Plain Driver"), ERROR_SUCCESS);
  std::string data = AllByteValues(4240);  // 1085440 bytes: one full piece and a rest
  DWORD id = Spool("Archive", data, nullptr, "Invoice 7.pdf");
  ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS) << RecordText();
  // The monitor numbers its port handles itself: take the one it gave.
  std::string record = RecordText();
  size_t open = record.find("OpenPort QV1 ");
  ASSERT_NE(open, std::string::npos) << record;
  size_t lineEnd = record.find('\n', open);
  std::string handle = record.substr(open + 13, lineEnd - open - 13);
  EXPECT_EQ(record.substr(lineEnd + 1),
            "StartDocPort " + handle + " printer=Archive job=" + std::to_string(id) +
                " level=1 docname=Invoice 7.pdf datatype=RAW\n"
                "job doc=Invoice 7.pdf user=ann machine=pc1 notify=ann type=RAW "
                "driver=Plain Driver size=1085440 priority=1 position=1 status=16\n"
                "WritePort 1048576\nWritePort 36864\n"
                "EndDocPort " + handle + " setjob=1\nClosePort " + handle + "\n");
  EXPECT_EQ(RecordedData(), data);
  EXPECT_TRUE(SpoolLeftovers().empty());
}

// The port asks for the job it is sent: it is printing (JOB_STATUS_PRINTING, 16), in its place
// behind the jobs spooled before it on the same printer.
TEST_F(SpoolerTest, AJobInHandIsPrintingInItsPlaceInTheQueue) {
  InstallTestMonitor({"QV1"});
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  DWORD first = Spool("Archive", "first");
  ASSERT_NE(Spool("Office", "elsewhere"), 0u);
  DWORD second = Spool("Archive", "second");
  ASSERT_EQ(DespoolJob(second), ERROR_SUCCESS);
  EXPECT_NE(RecordText().find("position=2 status=16\n"), std::string::npos) << RecordText();
  ASSERT_EQ(DespoolJob(first), ERROR_SUCCESS);
  EXPECT_NE(RecordText().find("position=1 status=16\n"), std::string::npos) << RecordText();
}

TEST_F(SpoolerTest, APortKeptUnderTheMonitorsKeyIsItsPortWhileItReportsNone) {
  InstallTestMonitor({"QV1"});
  SetNumber(MonitorKey("Test"), "NoPorts", 1);
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  DWORD id = Spool("Archive", "abc");
  ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS);
  EXPECT_EQ(RecordedData(), "abc");
}

TEST_F(SpoolerTest, AFailedJobStaysWithItsErrorUntilItIsTriedAgain) {
  InstallTestMonitor({"QV1"});
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Nowhere", "LPT9:", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Broken", "QV2", ""), ERROR_SUCCESS);
  SetText(MonitorKey("Lost"), "Driver", "NOPE.DLL");  // a monitor whose library is gone
  AddKey(MonitorKey("Lost") + "\\QV2");

  struct Case {
    const char* what;
    const char* printer;
    const char* setting;  // a failure of the test monitor to switch on
    DWORD status;
    const char* error;    // part of the job's error text
  } cases[] = {
      {"start refused", "Archive", "FailStartDoc", ERROR_ACCESS_DENIED, "StartDocPort of the port \"QV1\" failed"},
      {"write refused", "Archive", "FailWrite", ERROR_WRITE_FAULT, "WritePort of the port \"QV1\" failed"},
      {"port of no monitor", "Nowhere", nullptr, ERROR_UNKNOWN_PORT, "no monitor has a port \"LPT9:\""},
      {"monitor can't load", "Broken", nullptr, ERROR_MOD_NOT_FOUND, "\"NOPE.DLL\" of the monitor \"Lost\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(Record());
    std::filesystem::remove(Record() + ".data");
    if (c.setting) SetNumber(MonitorKey("Test"), c.setting, c.setting == std::string("FailWrite") ? 2 : ERROR_ACCESS_DENIED);
    DWORD id = Spool(c.printer, AllByteValues(4400));  // two pieces: the second WritePort can fail
    EXPECT_EQ(DespoolJob(id), c.status);
    JobEntry entry;
    ASSERT_EQ(GetJobEntry(id, entry), ERROR_SUCCESS);
    EXPECT_EQ(entry.state, "failed");
    EXPECT_NE(entry.error.find(c.error), std::string::npos) << entry.error;
    EXPECT_NE(entry.error.find(StatusText(c.status)), std::string::npos) << entry.error;
    EXPECT_EQ(DespoolJob(id), c.status) << "a failed job is not tried again unasked";
    EXPECT_EQ(DespoolWaitingJobs(), ERROR_SUCCESS) << "nor by the despool of waiting jobs";
    if (c.setting) {
      EXPECT_EQ(RecordText().find("EndDocPort"), std::string::npos) << "a broken job is never ended";
      SetNumber(MonitorKey("Test"), c.setting, 0);
      std::filesystem::remove(Record() + ".data");  // the refused write's first piece
      EXPECT_EQ(DespoolJob(id, true), ERROR_SUCCESS);
      EXPECT_TRUE(RecordedData() == AllByteValues(4400)) << "the whole job, once";
      EXPECT_EQ(GetJobEntry(id, entry), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    } else {
      EXPECT_EQ(DeleteJob(id), ERROR_SUCCESS);
    }
  }
  EXPECT_TRUE(SpoolLeftovers().empty());
}

// Keeps what is delivered to it while it is installed.
class RecordingSink : public DiagnosticsSink {
 public:
  RecordingSink() { SetDiagnosticsSink(this); }
  ~RecordingSink() override { SetDiagnosticsSink(nullptr); }
  void Deliver(const Failure& failure) noexcept override { delivered.push_back(failure); }
  std::vector<Failure> delivered;
};

TEST_F(SpoolerTest, AJobWhosePortReportedAFailureIsKeptFailedAndNamedToTheSink) {
  InstallTestMonitor({"QV1"});
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  struct Case {
    const char* what;
    bool sink;   // the failures reach the spool whether a host installed a sink or not
    bool after;  // reported after the port reported the job printed
  } cases[] = {{"with a sink", true, false}, {"without a sink", false, false}, {"reported late", true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<RecordingSink> sink;
    if (c.sink) sink.emplace();
    SetNumber(MonitorKey("Test"), "ReportAfterPrinted", c.after);
    SetNumber(MonitorKey("Test"), "ReportAtEndDoc", ERROR_ACCESS_DENIED);
    DWORD id = Spool("Archive", "data", nullptr, "Web page");
    EXPECT_EQ(DespoolJob(id), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_NE(RecordText().find("EndDocPort"), std::string::npos) << "the port took the job";
    JobEntry entry;
    ASSERT_EQ(GetJobEntry(id, entry), ERROR_SUCCESS) << "the job's data is kept";
    EXPECT_EQ(entry.state, "failed");
    EXPECT_EQ(entry.error, "Error writing file: C:\\out.prn");
    EXPECT_EQ(DespoolWaitingJobs(), ERROR_SUCCESS) << "a failed job waits to be asked";
    if (sink) {
      ASSERT_EQ(sink->delivered.size(), 1u);
      const Failure& failure = sink->delivered[0];
      EXPECT_EQ(failure.number, ERROR_ACCESS_DENIED);
      EXPECT_EQ(failure.source, "ActionWriteFile::Run");
      ASSERT_TRUE(failure.job.has_value());
      EXPECT_EQ(failure.job->printer, "Archive");
      EXPECT_EQ(failure.job->jobId, id);
      EXPECT_EQ(failure.job->port, "QV1");
      EXPECT_EQ(failure.job->document, "Web page");
    }
    // Once the cause is gone, a retry runs the port again and the job goes.
    SetNumber(MonitorKey("Test"), "ReportAtEndDoc", 0);
    EXPECT_EQ(DespoolJob(id, true), ERROR_SUCCESS);
    EXPECT_EQ(GetJobEntry(id, entry), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    if (sink) {
      EXPECT_EQ(sink->delivered.size(), 1u);
    }
  }
  EXPECT_TRUE(SpoolLeftovers().empty());
}

// A job its port reported printed leaves the note "sent/<id>" (other despoolers tell "sent" from
// "vanished" by it) only when it leaves the spool: a job kept failed carries none, even when its
// description already became the note before the failure came.
TEST_F(SpoolerTest, ANoteSaysSentOnlyOfAJobThatLeftTheSpool) {
  InstallTestMonitor({"QV1"});
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  struct Row {
    const char* name;
    DWORD reported;  // failure the port reports at its end of document (0: none)
    bool after;      // reported after the port reported the job printed
  };
  const Row rows[] = {
      {"PrintedInFull", 0, false},
      {"FailureBeforePrinted", ERROR_ACCESS_DENIED, false},
      {"FailureAfterPrinted", ERROR_ACCESS_DENIED, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetNumber(MonitorKey("Test"), "ReportAtEndDoc", row.reported);
    SetNumber(MonitorKey("Test"), "ReportAfterPrinted", row.after);
    DWORD id = Spool("Archive", "data", nullptr, "Web page");
    ASSERT_NE(id, 0u);
    const std::string note = prefix.Path("spool/sent/" + std::to_string(id));
    EXPECT_EQ(DespoolJob(id), row.reported);
    JobEntry entry;
    EXPECT_EQ(GetJobEntry(id, entry) == ERROR_SUCCESS, row.reported != 0) << "a failed job is kept";
    EXPECT_EQ(std::filesystem::exists(note), row.reported == 0);
    if (row.reported) {
      // Tried again without the failure, it goes and leaves its note.
      SetNumber(MonitorKey("Test"), "ReportAtEndDoc", 0);
      EXPECT_EQ(DespoolJob(id, true), ERROR_SUCCESS);
      EXPECT_TRUE(std::filesystem::exists(note));
    }
    EXPECT_EQ(DespoolJob(id), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "sent, as its note tells";
    EXPECT_TRUE(SpoolLeftovers().empty());
  }
}

TEST_F(SpoolerTest, APortThatRefusesAJobIsNamedToTheSinkWithTheJob) {
  InstallTestMonitor({"QV1"});
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  RecordingSink sink;
  SetNumber(MonitorKey("Test"), "FailStartDoc", ERROR_ACCESS_DENIED);
  DWORD id = Spool("Archive", "data");
  EXPECT_EQ(DespoolJob(id), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_EQ(sink.delivered.size(), 1u);
  EXPECT_EQ(FailureText(sink.delivered[0]),
            "StartDocPort of the port \"QV1\" failed: " + StatusText(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(sink.delivered[0].job.has_value());
  EXPECT_EQ(sink.delivered[0].job->jobId, id);
  JobEntry entry;
  ASSERT_EQ(GetJobEntry(id, entry), ERROR_SUCCESS);
  EXPECT_EQ(entry.error, FailureText(sink.delivered[0]));
}

TEST_F(SpoolerTest, AJobPrintedFromInsideAJobWaitsUntilThatJobHasEnded) {
  InstallTestMonitor({"QV1"});
  SetText(MonitorKey("Test"), "ThenPrintTo", "Office");
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  DWORD id = Spool("Archive", AllByteValues(10));
  ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS);
  EXPECT_NE(RecordText().find("printed from inside: spooled=0 despool=0 state=waiting\n"), std::string::npos)
      << RecordText();
  EXPECT_EQ(ReadFile(Printed(prefix, "Office", id + 1)), AllByteValues(10)) << "sent once the job ended";
  EXPECT_TRUE(SpoolLeftovers().empty());
}

TEST_F(SpoolerTest, SpoolingThatFailsLeavesNothing) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  DWORD status = 0;
  EXPECT_EQ(Spool("Nobody", "data", &status), 0u);
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));

  int folder = open(prefix.Dir().c_str(), O_RDONLY | O_DIRECTORY);  // reading it fails
  DWORD id = 0;
  JobSubmission job{"Office", "doc", "ann", "pc1", 0};
  EXPECT_NE(SpoolJob(job, folder, id), ERROR_SUCCESS);
  close(folder);
  EXPECT_TRUE(SpoolLeftovers().empty());
  std::vector<JobEntry> jobs;
  ASSERT_EQ(ListJobs(jobs), ERROR_SUCCESS);
  EXPECT_TRUE(jobs.empty());
}

TEST_F(SpoolerTest, WhatAnInterruptedSpoolLeftIsSweptOnlyWhenItsWriterIsGone) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  DWORD id = Spool("Office", "kept");
  std::string spool = prefix.Path("spool/");
  for (const char* name : {".00007.spl.Ab12Cd", "00008.spl", ".00009.spl.Xy34Zw", ".00010.spl.Young1"}) {
    std::ofstream(spool + name) << "partial";
    if (name[0] == '.' && std::string(name).find("Young") == std::string::npos)
      std::filesystem::last_write_time(spool + name, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  }
  int writer = open((spool + ".00009.spl.Xy34Zw").c_str(), O_RDONLY);  // its writer still runs
  ASSERT_EQ(flock(writer, LOCK_EX), 0);

  EXPECT_EQ(DespoolWaitingJobs(), ERROR_SUCCESS);
  std::vector<std::string> left = SpoolLeftovers();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".00009.spl.Xy34Zw", ".00010.spl.Young1"}))
      << "a locked file and one too young to be locked yet stay";
  EXPECT_EQ(ReadFile(Printed(prefix, "Office", id)), "kept");
  close(writer);
}

// A job whose spool files vanished before it was sent is a failure (ERROR_FILE_NOT_FOUND), told
// apart from a job another despooler sent (ERROR_INVALID_PARAMETER, as before).
TEST_F(SpoolerTest, AJobWhoseSpoolFilesVanishedIsAFailureNotSent) {
  struct Row {
    const char* name;
    std::vector<std::string> removed;  // extensions of the job's files removed before the despool
    bool sentFirst;
    DWORD status;
  };
  const std::vector<Row> rows = {
      {"DataRemoved", {"spl"}, false, ERROR_FILE_NOT_FOUND},
      {"DescriptionRemoved", {"shd"}, false, ERROR_FILE_NOT_FOUND},
      {"BothRemoved", {"spl", "shd"}, false, ERROR_FILE_NOT_FOUND},
      {"SentByAnotherDespool", {}, true, ERROR_INVALID_PARAMETER},
  };
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DWORD id = Spool("Office", "data");
    ASSERT_NE(id, 0u);
    for (const std::string& extension : row.removed) {
      char name[32];
      std::snprintf(name, sizeof name, "spool/%05u.%s", static_cast<unsigned>(id), extension.c_str());
      ASSERT_TRUE(std::filesystem::remove(prefix.Path(name))) << name;
    }
    if (row.sentFirst) {
      ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS);
    }
    EXPECT_EQ(DespoolJob(id), row.status);
    EXPECT_EQ(std::filesystem::exists(Printed(prefix, "Office", id)), row.sentFirst);
  }
  EXPECT_EQ(DespoolJob(999999), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "never spooled";
}

TEST_F(SpoolerTest, JobsSpooledAtOnceGetDistinctNumbers) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  std::vector<DWORD> ids(24);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (size_t i = t; i < ids.size(); i += 4) ids[i] = Spool("Office", "job " + std::to_string(i));
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(std::set<DWORD>(ids.begin(), ids.end()).size(), ids.size());
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 0u), 0);

  threads.clear();  // two despoolers at once send every job exactly once
  for (int t = 0; t < 2; ++t) threads.emplace_back([] { DespoolWaitingJobs(); });
  for (auto& thread : threads) thread.join();
  for (size_t i = 0; i < ids.size(); ++i)
    EXPECT_EQ(ReadFile(Printed(prefix, "Office", ids[i])), "job " + std::to_string(i));
  EXPECT_TRUE(SpoolLeftovers().empty());
}

TEST_F(SpoolerTest, WaitingJobsAreSentAndAJobAlreadyPrintedIsNotSentAgain) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  DWORD waiting = Spool("Office", "first");
  DWORD printed = Spool("Office", "second");
  // The port reported the second job printed, then the process ended before removing it.
  std::u16string name = u"Office";
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &printer, nullptr));
  EXPECT_TRUE(SetJobW(printer, printed, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED));
  ClosePrinter(printer);

  // Reported printed, the job has left the list; its data is gone with the next sweep.
  std::vector<JobEntry> jobs;
  ASSERT_EQ(ListJobs(jobs), ERROR_SUCCESS);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].id, waiting);
  EXPECT_EQ(jobs[0].state, "waiting");
  EXPECT_EQ(jobs[0].size, 5u);

  EXPECT_EQ(DespoolWaitingJobs(), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(Printed(prefix, "Office", waiting)), "first");
  EXPECT_FALSE(std::filesystem::exists(Printed(prefix, "Office", printed)));
  EXPECT_TRUE(SpoolLeftovers().empty());
}

TEST_F(SpoolerTest, PrinterNamesAndPorts) {
  struct Case {
    const char* name;
    const char* port;
    DWORD status;
  } cases[] = {
      {"Office", "FILE:", ERROR_SUCCESS},
      {"OFFICE", "FILE:", ERROR_PRINTER_ALREADY_EXISTS},
      {"", "FILE:", ERROR_INVALID_PRINTER_NAME},
      {"a/b", "FILE:", ERROR_INVALID_PRINTER_NAME},
      {"a\\b", "FILE:", ERROR_INVALID_PRINTER_NAME},
      {"..", "FILE:", ERROR_INVALID_PRINTER_NAME},
      {"a,b", "FILE:", ERROR_INVALID_PRINTER_NAME},
      {"Later", "  ", ERROR_UNKNOWN_PORT},
      {"Later", "QV7", ERROR_SUCCESS},  // a port a monitor may report later
  };
  for (const Case& c : cases) EXPECT_EQ(AddPrinter(c.name, c.port, ""), c.status) << c.name;

  std::vector<PrinterEntry> printers;
  ASSERT_EQ(ListPrinters(printers), ERROR_SUCCESS);
  ASSERT_EQ(printers.size(), 2u);
  EXPECT_EQ(printers[0].driver, kDefaultPrinterDriver);

  DWORD id = Spool("Office", "x");
  EXPECT_EQ(DeletePrinter("Office"), static_cast<DWORD>(ERROR_PRINTER_HAS_JOBS_QUEUED));
  ASSERT_EQ(DeleteJob(id), ERROR_SUCCESS);
  EXPECT_EQ(DeletePrinter("office"), ERROR_SUCCESS);
  EXPECT_EQ(DeletePrinter("Office"), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

// The job's description is kept as "key=value" lines: names with line breaks and backslashes
// come back byte for byte and can't pose as another key (a title "x\nprinter=B" must not move
// the job to printer B).
TEST_F(SpoolerTest, NamesWithLineBreaksAndBackslashesComeBackAsTheyWere) {
  ASSERT_EQ(AddPrinter("A", "FILE:", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("B", "FILE:", ""), ERROR_SUCCESS);
  struct Case {
    const char* name;
    std::string document, user, machine;
  } cases[] = {
      {"line feed posing as a key", "x\nprinter=B", "u\nstate=failed", "m\nhops=9"},
      {"carriage returns", "x\rprinter=B\r", "\r\n", "m\r"},
      {"backslashes", "C:\\Docs\\n.txt", "dom\\user", "\\\\server"},
      {"backslash at the end", "x\\", "\\", "m\\\\"},
      {"escapes written out", "x\\nprinter=B", "\\r\\n", "\\\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string input = prefix.Path("input");
    std::ofstream(input, std::ios::binary) << c.name;
    int fd = open(input.c_str(), O_RDONLY);
    DWORD id = 0;
    ASSERT_EQ(SpoolJob(JobSubmission{"A", c.document, c.user, c.machine, 0}, fd, id), ERROR_SUCCESS);
    close(fd);

    JobEntry entry;
    ASSERT_EQ(GetJobEntry(id, entry), ERROR_SUCCESS);
    EXPECT_EQ(entry.printer, "A");
    EXPECT_EQ(entry.document, c.document);
    EXPECT_EQ(entry.user, c.user);
    EXPECT_EQ(entry.state, "waiting");
    EXPECT_EQ(entry.hops, 0u);

    std::u16string name = u"A";
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(name.data(), &printer, nullptr));
    DWORD needed = 0;
    GetJobW(printer, id, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(GetJobW(printer, id, 2, buffer.data(), needed, &needed)) << GetLastError();
    auto* info = reinterpret_cast<JOB_INFO_2W*>(buffer.data());
    EXPECT_EQ(ToUtf8(info->pPrinterName), "A");
    EXPECT_EQ(ToUtf8(info->pDocument), c.document);
    EXPECT_EQ(ToUtf8(info->pUserName), c.user);
    EXPECT_EQ(ToUtf8(info->pNotifyName), c.user);
    EXPECT_EQ(ToUtf8(info->pMachineName), c.machine);
    ClosePrinter(printer);

    ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(Printed(prefix, "A", id)), c.name) << "printed on its own printer";
    EXPECT_FALSE(std::filesystem::exists(Printed(prefix, "B", id)));
  }
}

ino_t InodeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// A batch spooled unflushed is invisible until it is accepted at once; a batch sent in a despool
// group leaves the spool only when the group ends, and nobody (another despooler, or a keep that
// would wait for this thread's own claim) takes its jobs meanwhile.
TEST_F(SpoolerTest, ABatchIsAcceptedAtOnceAndItsJobsLeaveTheSpoolWhenItsGroupEnds) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  struct Case {
    const char* name;
    size_t jobs;
  } cases[] = {{"one job: a flush per file", 1}, {"five jobs: one flush for all", 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<DWORD> ids;
    for (size_t i = 0; i < c.jobs; ++i) {
      ids.push_back(SpoolUnaccepted("Office", "job " + std::to_string(i)));
      ASSERT_NE(ids.back(), 0u);
    }
    for (const std::string& name : SpoolLeftovers())
      EXPECT_EQ(name[0], '.') << name << ": a job is named before the batch is accepted";
    EXPECT_EQ(DespoolJob(ids[0]), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "not accepted yet";
    ASSERT_EQ(FlushSpool(), ERROR_SUCCESS);
    EXPECT_EQ(SpoolLeftovers().size(), 2 * c.jobs) << "each job's data and description";

    DespoolGroup group;
    for (DWORD id : ids) ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS);
    for (size_t i = 0; i < c.jobs; ++i) EXPECT_EQ(ReadFile(Printed(prefix, "Office", ids[i])), "job " + std::to_string(i));
    EXPECT_EQ(SpoolLeftovers().size(), 2 * c.jobs) << "sent, but in the spool until the outputs are flushed";
    EXPECT_EQ(DespoolJob(ids[0]), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "sent already, not waited for";
    EXPECT_EQ(KeepJobInSpool(ids[0]), static_cast<DWORD>(ERROR_BUSY)) << "would wait for its own claim";
    // Another despooler (a thread has no group of its own) finds the jobs claimed and leaves
    // them alone rather than send them twice: the outputs stay the files they are.
    std::vector<ino_t> outputs;
    for (DWORD id : ids) outputs.push_back(InodeOf(Printed(prefix, "Office", id)));
    std::thread([] { DespoolWaitingJobs(); }).join();
    for (size_t i = 0; i < ids.size(); ++i)
      EXPECT_EQ(InodeOf(Printed(prefix, "Office", ids[i])), outputs[i]) << "job " << ids[i] << " was sent again";
    EXPECT_EQ(group.End(), ERROR_SUCCESS);
    EXPECT_TRUE(SpoolLeftovers().empty());
    EXPECT_EQ(KeepJobInSpool(ids[0]), ERROR_SUCCESS) << "sent and gone";
    EXPECT_EQ(DespoolJob(ids[0]), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "sent, as its note tells";
  }
}

TEST_F(SpoolerTest, AThreadHoldsOnlySoManyJobsUnaccepted) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  DWORD status = 0;
  for (size_t i = 0; i < kUnflushedJobsMax; ++i) ASSERT_NE(SpoolUnaccepted("Office", "job"), 0u);
  EXPECT_EQ(SpoolUnaccepted("Office", "job", &status), 0u);
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_TOO_MANY_OPEN_FILES));
  ASSERT_EQ(FlushSpool(), ERROR_SUCCESS);
  EXPECT_NE(SpoolUnaccepted("Office", "job"), 0u) << "room again once accepted";
  EXPECT_EQ(FlushSpool(), ERROR_SUCCESS);
  EXPECT_EQ(SpoolLeftovers().size(), 2 * (kUnflushedJobsMax + 1));
}


// Jobs accepted to be sent at once are flushed in the spool only if they stay there: a job sent
// in full leaves nothing, one that failed or was not sent is made durable before its number is
// shown, and one a crash of the machine cut short (accepted in an earlier boot) is no job.
TEST_F(SpoolerTest, AJobAcceptedToBeSentAtOnceIsFlushedInTheSpoolOnlyIfItStaysThere) {
  if (spool::BootId().empty()) GTEST_SKIP() << "no boot id on this machine: jobs are always accepted durably";
  AddOfficeAndJammedPrinters();
  const std::string mark = "unflushed=" + spool::BootId() + "\n";
  enum class Then { kSend, kLeave };
  struct Case {
    const char* name;
    const char* printer;
    Then then;
    DWORD despooled;
    bool inSpool;  // after KeepJobInSpool
  } cases[] = {
      {"sent in full: gone, never flushed", "Office", Then::kSend, ERROR_SUCCESS, false},
      {"failed: made durable by its despool", "Jammed", Then::kSend, ERROR_PATH_NOT_FOUND, true},
      {"not sent: made durable before its number is shown", "Office", Then::kLeave, ERROR_SUCCESS, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DWORD id = SpoolToSendNow(c.printer, "the job's data");
    ASSERT_NE(id, 0u);
    EXPECT_NE(ReadFile(spool::DescriptionPath(id)).find(mark), std::string::npos) << "accepted without a flush";
    if (c.then == Then::kSend) {
      const DWORD status = DespoolJob(id);
      EXPECT_TRUE(c.despooled == ERROR_SUCCESS ? status == ERROR_SUCCESS : status != ERROR_SUCCESS) << status;
      // Whoever despools it (maybe another process, which shows no number) keeps a failed job.
      EXPECT_EQ(ReadFile(spool::DescriptionPath(id)).find("unflushed="), std::string::npos) << "marked after its despool";
    }
    EXPECT_EQ(KeepJobInSpool(id), ERROR_SUCCESS);
    const std::string description = ReadFile(spool::DescriptionPath(id));
    EXPECT_EQ(!description.empty(), c.inSpool);
    EXPECT_EQ(description.find("unflushed="), std::string::npos) << "still marked: " << description;
    if (c.inSpool) {
      JobEntry entry;
      EXPECT_EQ(GetJobEntry(id, entry), ERROR_SUCCESS);
      EXPECT_EQ(KeepJobInSpool(id), ERROR_SUCCESS) << "durable already: nothing to do";
      EXPECT_EQ(DeleteJob(id), ERROR_SUCCESS);
    }
  }
}

TEST_F(SpoolerTest, AJobAcceptedUnflushedInAnEarlierBootIsNoJob) {
  if (spool::BootId().empty()) GTEST_SKIP() << "no boot id on this machine";
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  const DWORD kept = Spool("Office", "accepted durably");
  const DWORD id = SpoolToSendNow("Office", "cut short by a power cut");
  ASSERT_NE(id, 0u);
  // As the machine finds it after a restart: the mark names another boot.
  spool::JobDescription job;
  ASSERT_EQ(spool::ReadJob(id, job), ERROR_SUCCESS);
  job.unflushedBoot = "an-earlier-boot";
  ASSERT_EQ(spool::WriteJob(job), ERROR_SUCCESS);

  std::vector<JobEntry> jobs;
  ASSERT_EQ(ListJobs(jobs), ERROR_SUCCESS);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].id, kept);
  EXPECT_EQ(SpoolLeftovers().size(), 2u) << "its files are gone, the durable job's stay";
  EXPECT_EQ(DespoolWaitingJobs(), ERROR_SUCCESS);
  EXPECT_FALSE(std::filesystem::exists(Printed(prefix, "Office", id))) << "sent";
  EXPECT_TRUE(std::filesystem::exists(Printed(prefix, "Office", kept)));
}

}  // namespace
}  // namespace qv::testing

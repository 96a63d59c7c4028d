// Raw printing on the embedded print system: a document becomes a job of its printer, refusals
// come with Windows' codes, a reprint from inside a job waits for that job and carries a hop
// count, and a job that has been reprinted too often in a row is refused.
#include "SpoolerFixture.h"
#include "../SpoolFolder.h"

#include <qv/diagnostics.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <fstream>
#include <sstream>

namespace qv::testing {
namespace {

std::string Printed(const TempPrefix& prefix, const std::string& printer, DWORD id) {
  return prefix.Path("spool/printed/" + printer + "/" + std::to_string(id) + ".prn");
}

// An open printer handle, closed when it goes.
class Printer {
 public:
  explicit Printer(const std::string& name, ACCESS_MASK access = PRINTER_ACCESS_USE) {
    std::string printer = name, datatype = "RAW";
    PRINTER_DEFAULTSA defaults{datatype.data(), nullptr, access};
    opened_ = OpenPrinterA(printer.data(), &handle_, &defaults);
    error_ = opened_ ? 0 : GetLastError();
  }
  ~Printer() {
    if (opened_) ClosePrinter(handle_);
  }
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  HANDLE Handle() const { return handle_; }
  DWORD OpenError() const { return error_; }
  bool Close() {
    opened_ = false;
    return ClosePrinter(handle_);
  }

  DWORD StartDoc(const std::string& document, const char* datatype = "RAW", DWORD level = 1) {
    std::string name = document, type = datatype ? datatype : "";
    DOC_INFO_1A info{name.data(), nullptr, datatype ? type.data() : nullptr};
    return StartDocPrinterA(handle_, level, reinterpret_cast<LPBYTE>(&info));
  }
  BOOL Write(const std::string& data) {
    DWORD written = 0;
    return WritePrinter(handle_, const_cast<char*>(data.data()), static_cast<DWORD>(data.size()), &written);
  }

 private:
  HANDLE handle_ = nullptr;
  BOOL opened_ = FALSE;
  DWORD error_ = 0;
};

// The status of a call that answered FALSE (or 0), or ERROR_SUCCESS when it succeeded.
DWORD Status(DWORD result) { return result ? ERROR_SUCCESS : GetLastError(); }

TEST_F(SpoolerTest, ARawDocumentBecomesAJobOfItsPrinter) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", "Plain Driver"), ERROR_SUCCESS);
  for (const std::string& data : {AllByteValues(40), std::string()}) {
    SCOPED_TRACE(data.size());
    Printer printer("office");  // printer names ignore case
    DWORD id = printer.StartDoc("Invoice 7");
    ASSERT_NE(id, 0u) << GetLastError();
    ASSERT_TRUE(StartPagePrinter(printer.Handle()));
    EXPECT_TRUE(SpoolLeftovers().size() == 1 && SpoolLeftovers()[0][0] == '.')
        << "a document being written is not a job yet";
    for (size_t at = 0; at < data.size(); at += 4096) ASSERT_TRUE(printer.Write(data.substr(at, 4096)));
    ASSERT_TRUE(EndPagePrinter(printer.Handle()));
    ASSERT_TRUE(EndDocPrinter(printer.Handle()));
    EXPECT_EQ(ReadFile(Printed(prefix, "Office", id)), data) << "despooled at once outside a job";
    EXPECT_TRUE(SpoolLeftovers().empty());
  }
}

// A document sent before EndDocPrinter returns is flushed in the spool only if its job stays
// there: by then the job is printed (gone) or durable (no boot mark). Inside a despool group the
// job is sent when the group ends: accepted durably, so ending the document does not wait on a
// claim the group holds.
TEST_F(SpoolerTest, AnEndedDocumentIsPrintedOrDurableWhenEndDocPrinterReturns) {
  if (spool::BootId().empty()) GTEST_SKIP() << "no boot id on this machine: jobs are always accepted durably";
  AddOfficeAndJammedPrinters();
  struct Case {
    const char* name;
    const char* printer;
    bool inGroup;
    bool printed;  // else kept in the spool, durable
  } cases[] = {
      {"sent in full", "Office", false, true},
      {"failed: kept, durable", "Jammed", false, false},
      {"inside a despool group: sent at its end", "Office", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<DespoolGroup> group;
    if (c.inGroup) group.emplace();
    Printer printer(c.printer);
    const DWORD id = printer.StartDoc("report");
    ASSERT_NE(id, 0u) << GetLastError();
    ASSERT_TRUE(printer.Write("the document"));
    EXPECT_TRUE(EndDocPrinter(printer.Handle())) << GetLastError();
    if (group) {
      EXPECT_EQ(group->End(), ERROR_SUCCESS);
    }
    EXPECT_EQ(std::filesystem::exists(Printed(prefix, c.printer, id)), c.printed);
    const std::string description = ReadFile(spool::DescriptionPath(id));
    EXPECT_EQ(description.empty(), c.printed) << "printed jobs leave the spool";
    EXPECT_EQ(description.find("unflushed="), std::string::npos) << "not durable: " << description;
    if (!c.printed) {
      EXPECT_EQ(DeleteJob(id), ERROR_SUCCESS);
    }
  }
}

TEST_F(SpoolerTest, RawPrintingRefusalsCarryWindowsCodes) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  EXPECT_EQ(Printer("Nowhere").OpenError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));

  Printer printer("Office");
  HANDLE stale = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7777));
  DWORD written = 0;
  char byte = 'x';
  const struct {
    const char* what;
    DWORD status;
    DWORD expected;
  } rows[] = {
      {"page without a document", Status(StartPagePrinter(printer.Handle())), ERROR_SPL_NO_STARTDOC},
      {"data without a document", Status(WritePrinter(printer.Handle(), &byte, 1, &written)), ERROR_SPL_NO_STARTDOC},
      {"page end without a document", Status(EndPagePrinter(printer.Handle())), ERROR_SPL_NO_STARTDOC},
      {"end without a document", Status(EndDocPrinter(printer.Handle())), ERROR_SPL_NO_STARTDOC},
      {"start on a handle never opened", Status(StartDocPrinterA(stale, 1, nullptr)), ERROR_INVALID_HANDLE},
      {"data on a handle never opened", Status(WritePrinter(stale, &byte, 1, &written)), ERROR_INVALID_HANDLE},
      {"level 2", Status(printer.StartDoc("x", "RAW", 2)), ERROR_INVALID_LEVEL},
      {"another data type", Status(printer.StartDoc("x", "EMF")), ERROR_INVALID_DATATYPE},
      {"opened for administration only", Status(Printer("Office", PRINTER_ACCESS_ADMINISTER).StartDoc("x")),
       ERROR_ACCESS_DENIED},
  };
  for (const auto& row : rows) EXPECT_EQ(row.status, row.expected) << row.what;

  ASSERT_NE(printer.StartDoc("first", nullptr), 0u) << "no data type means the printer's, RAW";
  EXPECT_EQ(Status(printer.StartDoc("second")), static_cast<DWORD>(ERROR_INVALID_PRINTER_STATE));
  EXPECT_TRUE(printer.Write("abc"));
  ASSERT_TRUE(printer.Close());
  EXPECT_EQ(Status(WritePrinter(printer.Handle(), &byte, 1, &written)), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(SpoolLeftovers().empty()) << "a document never ended is dropped with its handle";
  std::error_code error;
  EXPECT_FALSE(std::filesystem::exists(prefix.Path("spool/printed"), error));
}

TEST_F(SpoolerTest, DataTheSpoolCouldNotTakeIsNeverPrinted) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // No file may grow past 64 KiB in this process: the second write fails.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    Printer printer("Office");
    if (!printer.StartDoc("big")) _exit(1);
    if (!printer.Write(std::string(60 * 1024, 'a'))) _exit(2);
    if (printer.Write(std::string(60 * 1024, 'b'))) _exit(3);
    if (printer.Write("c")) _exit(4);  // the document stays refused
    if (EndPagePrinter(printer.Handle()) != TRUE) _exit(5);
    if (EndDocPrinter(printer.Handle()) || GetLastError() != ERROR_PRINT_CANCELLED) _exit(6);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(SpoolLeftovers().empty());
  std::vector<JobEntry> jobs;
  ASSERT_EQ(ListJobs(jobs), ERROR_SUCCESS);
  EXPECT_TRUE(jobs.empty());
}

TEST_F(SpoolerTest, AReprintFromInsideAJobWaitsForItAndCountsItsHops) {
  InstallTestMonitor({"QV1"});
  SetText(MonitorKey("Test"), "ThenRawPrintTo", "Office");
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  DWORD id = Spool("Archive", AllByteValues(10));
  ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS);
  const std::string record = RecordText();
  const std::string reprint = "raw print from inside: job=" + std::to_string(id + 1) + " error=0 hops=1 state=waiting\n";
  ASSERT_NE(record.find(reprint), std::string::npos) << record;
  EXPECT_LT(record.find(reprint), record.find("EndDocPort")) << record;
  EXPECT_EQ(ReadFile(Printed(prefix, "Office", id + 1)), AllByteValues(10));
  EXPECT_TRUE(SpoolLeftovers().empty());
}

TEST_F(SpoolerTest, APortThatReprintsToItsOwnPrinterStopsAfterFourHops) {
  InstallTestMonitor({"QV1"});
  SetText(MonitorKey("Test"), "ThenRawPrintTo", "Loop");
  ASSERT_EQ(AddPrinter("Loop", "QV1", ""), ERROR_SUCCESS);
  DWORD id = Spool("Loop", "data");
  ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS);
  const std::string record = RecordText();
  std::vector<std::string> reprints;
  std::istringstream lines(record);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("raw print from inside: ", 0) == 0) reprints.push_back(line);
  std::vector<std::string> expected;
  for (unsigned hop = 1; hop <= kMaxReprintHops; ++hop)
    expected.push_back("raw print from inside: job=" + std::to_string(id + hop) + " error=0 hops=" +
                       std::to_string(hop) + " state=waiting");
  expected.push_back("raw print from inside: job=0 error=" + std::to_string(ERROR_PRINTQ_FULL));
  EXPECT_EQ(reprints, expected) << record;
  EXPECT_EQ(RecordedData(), "datadatadatadatadata") << "the job and its four reprints";
  EXPECT_TRUE(SpoolLeftovers().empty());

  // A job spooled directly with more hops than allowed is refused as well.
  int fd = open("/dev/null", O_RDONLY);
  DWORD refused = 0;
  EXPECT_EQ(SpoolJob({"Loop", "again", "ann", "pc1", kMaxReprintHops + 1}, fd, refused),
            static_cast<DWORD>(ERROR_PRINTQ_FULL));
  close(fd);
}

// A port that prints several copies back to its own printer: besides the hop limit, one original
// job causes at most kReprintBudget reprints in all; the rest are refused with
// ERROR_NOT_ENOUGH_QUOTA (without the budget, 8 copies a hop would make 4,680 reprints and 2
// copies 30).
TEST_F(SpoolerTest, OneJobCausesAtMostItsBudgetOfReprints) {
  struct Row {
    const char* name;
    DWORD copies;
    size_t reprints;  // expected when the budget doesn't bind; 0: the budget binds
  };
  // The budget is shared out as reprints are made (half of what is left goes with each), so a
  // wide tree may be cut before it has used all of it, never after.
  const std::vector<Row> rows = {
      {"OneCopyAHopStaysBelowTheBudget", 1, 4},
      {"TwoCopiesAHop", 2, 0},
      {"EightCopiesAHop", 8, 0},
  };
  InstallTestMonitor({"QV1"});
  SetText(MonitorKey("Test"), "ThenRawPrintTo", "Loop");
  ASSERT_EQ(AddPrinter("Loop", "QV1", ""), ERROR_SUCCESS);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetNumber(MonitorKey("Test"), "RawPrintCount", row.copies);
    std::filesystem::remove(Record());
    std::filesystem::remove(Record() + ".data");
    DWORD id = Spool("Loop", "data");
    ASSERT_EQ(DespoolJob(id), ERROR_SUCCESS);
    const std::string record = RecordText();
    size_t sent = 0;
    size_t overBudget = 0;
    std::istringstream lines(record);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("raw print from inside: job=", 0) != 0) continue;
      if (line.find("error=0") != std::string::npos) ++sent;
      if (line.find("error=" + std::to_string(ERROR_NOT_ENOUGH_QUOTA)) != std::string::npos) ++overBudget;
    }
    if (row.reprints) {
      EXPECT_EQ(sent, row.reprints);
      EXPECT_EQ(overBudget, 0u);
    } else {
      EXPECT_LE(sent, kReprintBudget);
      EXPECT_GT(overBudget, 0u);
    }
    EXPECT_EQ(RecordedData().size(), 4 * (1 + sent)) << "the job and every reprint that was taken";
    EXPECT_TRUE(SpoolLeftovers().empty());
  }
}

// The limit itself is allowed at spool time (a job reprinted that often is still taken), one
// more is not.
TEST_F(SpoolerTest, SpoolingTakesHopsUpToTheLimit) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  struct Case {
    unsigned hops;
    DWORD status;
  } cases[] = {
      {0, ERROR_SUCCESS},
      {kMaxReprintHops - 1, ERROR_SUCCESS},
      {kMaxReprintHops, ERROR_SUCCESS},
      {kMaxReprintHops + 1, ERROR_PRINTQ_FULL},
      {~0u, ERROR_PRINTQ_FULL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hops);
    int fd = open("/dev/null", O_RDONLY);
    DWORD id = 0;
    EXPECT_EQ(SpoolJob({"Office", "hops", "ann", "pc1", c.hops}, fd, id), c.status);
    close(fd);
    JobEntry entry;
    if (c.status == ERROR_SUCCESS) {
      ASSERT_EQ(GetJobEntry(id, entry), ERROR_SUCCESS);
      EXPECT_EQ(entry.hops, c.hops);
      EXPECT_EQ(DeleteJob(id), ERROR_SUCCESS);
    }
  }
  EXPECT_TRUE(SpoolLeftovers().empty()) << "a refused job leaves nothing";
}

TEST_F(SpoolerTest, AReprintWaitingWhenTheProcessDiedIsSentByTheNextDespool) {
  InstallTestMonitor({"QV1"});
  SetText(MonitorKey("Test"), "ThenRawPrintTo", "Office");
  SetNumber(MonitorKey("Test"), "ExitAfterReprint", 1);
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  DWORD id = Spool("Archive", AllByteValues(3));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(static_cast<int>(DespoolJob(id)));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 7) << "the monitor ended the process inside the job";

  std::vector<JobEntry> jobs;
  ASSERT_EQ(ListJobs(jobs), ERROR_SUCCESS);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[1].id, id + 1);
  EXPECT_EQ(jobs[1].printer, "Office");
  EXPECT_EQ(jobs[1].state, "waiting");
  EXPECT_EQ(jobs[1].hops, 1u);

  SetNumber(MonitorKey("Test"), "ExitAfterReprint", 0);
  SetText(MonitorKey("Test"), "ThenRawPrintTo", "");
  EXPECT_EQ(DespoolWaitingJobs(), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(Printed(prefix, "Office", id + 1)), AllByteValues(3));
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

TEST_F(SpoolerTest, AReprintToAMissingPrinterIsToldWithTheJobAndKeepsTheJob) {
  InstallTestMonitor({"QV1"});
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  SetText(MonitorKey("Test"), "ThenRawPrintTo", "Ofice");
  RecordingSink sink;
  DWORD id = Spool("Archive", "data");
  EXPECT_EQ(DespoolJob(id), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  ASSERT_EQ(sink.delivered.size(), 1u);
  const Failure& failure = sink.delivered[0];
  EXPECT_EQ(failure.number, ERROR_INVALID_PRINTER_NAME);
  EXPECT_EQ(failure.source, "OpenPrinterA");
  EXPECT_EQ(FailureText(failure),
            "Not printed on \"Ofice\": no such printer: " + StatusText(ERROR_INVALID_PRINTER_NAME));
  ASSERT_TRUE(failure.job.has_value());
  EXPECT_EQ(failure.job->jobId, id);
  JobEntry entry;
  ASSERT_EQ(GetJobEntry(id, entry), ERROR_SUCCESS);
  EXPECT_EQ(entry.state, "failed");

  // Outside a despool the same refusal still reaches the sink, without a job.
  Printer missing("Nobody");
  EXPECT_EQ(missing.OpenError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  ASSERT_EQ(sink.delivered.size(), 2u);
  EXPECT_FALSE(sink.delivered[1].job.has_value());
}

}  // namespace
}  // namespace qv::testing

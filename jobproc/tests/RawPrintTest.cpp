// Raw printing and the reprint action: the spooler calls in their order, the file in chunks of
// 4096 bytes, refusals undone step by step, and the reprint on the embedded print system.
#include <gtest/gtest.h>
#include <qv/print_system.h>
#include <qv/utf.h>

#include <filesystem>

#include "ActionReprint.h"
#include "RawPrint.h"
#include "RecordingPrintSystem.h"
#include "Script.h"
#include "TempPrefix.h"
#include "TestJob.h"
#include "TestRegistry.h"

using namespace MarrowjetUI;
using namespace jobproc_testing;
namespace fs = std::filesystem;

namespace {

using Calls = std::vector<std::string>;

const std::string kOpen = "OpenPrinterA Office type=RAW devmode=null access=8";
const std::string kStartDoc = "StartDocPrinterA level=1 doc=Invoice 7 output=(null) type=RAW";

std::string Bytes(size_t size, int seed = 0) {
  std::string data;
  for (size_t i = 0; i < size; ++i) data += static_cast<char>((i * 31 + seed) & 0xFF);
  return data;
}

size_t OpenDescriptors() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

class RawPrintTest : public ::testing::Test {
 protected:
  RawPrintTest() : log(prefix.Path("rawprint.log")) { CreateKey(kMonitorKey); }

  // A RawPrint set up for "Office" and the document "Invoice 7", released when it goes.
  struct Printer {
    Printer(const std::string& printer = "Office") {
      raw->put_PrinterName(Bstr(qv::ToUtf16(printer)).Get());
      raw->put_DocumentName(Bstr(WSTR("Invoice 7")).Get());
    }
    ~Printer() { raw->Release(); }
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    bool PrintFile(const std::string& path) {
      Bstr name(qv::ToUtf16(path));
      BSTR argument = name.Get();
      VARIANT_BOOL result = VARIANT_TRUE;
      EXPECT_EQ(raw->PrintFile(&argument, &result), S_OK);
      return result != VARIANT_FALSE;
    }
    bool PrintString(const std::string& text) {
      Bstr data(qv::ToUtf16(text));
      BSTR argument = data.Get();
      VARIANT_BOOL result = VARIANT_TRUE;
      EXPECT_EQ(raw->PrintString(&argument, &result), S_OK);
      return result != VARIANT_FALSE;
    }
    LONG Error() {
      LONG error = -1;
      EXPECT_EQ(raw->GetError(&error), S_OK);
      return error;
    }

    _RawPrint* raw = Create();

   private:
    static _RawPrint* Create() {
      void* object = nullptr;
      if (FAILED(RawPrint::CreateInstance(IID__RawPrint, &object))) throw std::runtime_error("no RawPrint");
      return static_cast<_RawPrint*>(object);
    }
  };

  std::string DataFile(const std::string& bytes) {
    const std::string path = prefix.Path("job" + std::to_string(++files) + ".spl");
    WriteFile(path, bytes);
    return path;
  }

  qv::testing::TempPrefix prefix;
  LogFile log;
  int files = 0;
};

TEST_F(RawPrintTest, TheFileGoesOutInChunksOfAFullBuffer) {
  const struct {
    size_t size;
    std::vector<DWORD> writes;
  } rows[] = {
      {0, {}},  // a document without data
      {1, {1}},
      {4096, {4096}},
      {4097, {4096, 1}},
      {10000, {4096, 4096, 1808}},
      {12288, {4096, 4096, 4096}},
  };
  RecordingPrintSystem spooler;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    spooler.Clear();
    const std::string data = Bytes(row.size);
    Printer printer;
    EXPECT_TRUE(printer.PrintFile(DataFile(data)));
    EXPECT_EQ(printer.Error(), 0);
    Calls expected = {kOpen, kStartDoc, "StartPagePrinter"};
    for (DWORD size : row.writes) expected.push_back("WritePrinter " + std::to_string(size));
    expected.insert(expected.end(), {"EndPagePrinter", "EndDocPrinter", "ClosePrinter"});
    EXPECT_EQ(spooler.Calls(), expected);
    EXPECT_EQ(spooler.Data(), data);
  }
  EXPECT_TRUE(log.Entries().empty());
}

TEST_F(RawPrintTest, ARefusedCallUndoesTheStepsTakenAndLeavesItsCode) {
  const struct {
    const char* call;
    int nth;
    DWORD error;
    Calls calls;
  } rows[] = {
      {"OpenPrinterA", 1, ERROR_INVALID_PRINTER_NAME, {kOpen + " -> refused"}},
      {"StartDocPrinterA", 1, ERROR_ACCESS_DENIED, {kOpen, kStartDoc + " -> refused", "ClosePrinter"}},
      {"StartPagePrinter",
       1,
       ERROR_NOT_READY,
       {kOpen, kStartDoc, "StartPagePrinter -> refused", "EndDocPrinter", "ClosePrinter"}},
      {"WritePrinter",
       2,
       ERROR_WRITE_FAULT,
       {kOpen, kStartDoc, "StartPagePrinter", "WritePrinter 4096", "WritePrinter 4096 -> refused", "EndPagePrinter",
        "EndDocPrinter", "ClosePrinter"}},
  };
  RecordingPrintSystem spooler;
  const std::string path = DataFile(Bytes(10000));
  const size_t descriptors = OpenDescriptors();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call);
    spooler.Clear();
    spooler.FailAt(row.call, row.nth, row.error);
    {
      Printer printer;
      EXPECT_FALSE(printer.PrintFile(path));
      EXPECT_EQ(printer.Error(), static_cast<LONG>(row.error));
      EXPECT_EQ(spooler.Calls(), row.calls);
      EXPECT_EQ(OpenDescriptors(), descriptors) << "the data file is closed";
    }
    spooler.Clear();
    Printer next;
    EXPECT_TRUE(next.PrintFile(path));
    EXPECT_EQ(next.Error(), 0);
    EXPECT_EQ(spooler.Data(), Bytes(10000));
  }
  EXPECT_TRUE(log.Entries().empty()) << "refusals of the spooler are not logged";
}

TEST_F(RawPrintTest, AMissingDataFileIsLoggedAndItsDocumentNotEnded) {
  RecordingPrintSystem spooler;
  Printer printer;
  EXPECT_FALSE(printer.PrintFile(prefix.Path("gone.spl")));
  EXPECT_EQ(printer.Error(), 0);
  EXPECT_EQ(spooler.Calls(), (Calls{kOpen, kStartDoc, "StartPagePrinter", "EndPagePrinter", "ClosePrinter"}));
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{Entry(2, "RawPrint::PrintFile", SystemText(2))}));
}

TEST_F(RawPrintTest, PrintStringSendsAllBytesOfTheTextInOneWrite) {
  RecordingPrintSystem spooler;
  Printer printer;
  const std::string text = "Gr\xC3\xBC\xC3\x9F" "e\r\n";  // five letters, two of them outside ASCII
  EXPECT_TRUE(printer.PrintString(text));
  EXPECT_EQ(spooler.Calls(), (Calls{kOpen, kStartDoc, "StartPagePrinter", "WritePrinter 9", "EndPagePrinter",
                                    "EndDocPrinter", "ClosePrinter"}));
  EXPECT_EQ(spooler.Data(), text);

  spooler.Clear();
  spooler.FailAt("WritePrinter", 1, ERROR_WRITE_FAULT);
  EXPECT_FALSE(printer.PrintString(text));
  EXPECT_EQ(printer.Error(), ERROR_WRITE_FAULT);
  EXPECT_EQ(spooler.Calls(), (Calls{kOpen, kStartDoc, "StartPagePrinter", "WritePrinter 9 -> refused",
                                    "EndPagePrinter", "EndDocPrinter", "ClosePrinter"}));
  spooler.Clear();
  EXPECT_TRUE(printer.PrintString(""));
  EXPECT_EQ(printer.Error(), 0) << "a success clears the error of the call before";
}

TEST_F(RawPrintTest, EveryReprintConvertsThePrinterNameAnewUnderTheJobsDocumentName) {
  RecordingPrintSystem spooler;
  TestJob job;
  job.Document("Invoice 7").User("alice");
  ActionReprint action;
  action.LoadFromString(WSTR("Reprint:   Copy?SN?-?UN?  "));
  EXPECT_EQ(action.AsString(), WSTR("Reprint: Copy?SN?-?UN?"));
  const std::string path = DataFile("abc");
  action.Run(qv::ToUtf16(path), job.Get(), 0);
  action.Run(qv::ToUtf16(path), job.Get(), 0);
  const std::string open = " type=RAW devmode=null access=8";
  EXPECT_EQ(spooler.Calls()[0], "OpenPrinterA Copy1-alice" + open);
  EXPECT_EQ(spooler.Calls()[7], "OpenPrinterA Copy2-alice" + open);
  EXPECT_EQ(spooler.Calls()[1], kStartDoc);
  EXPECT_EQ(ReadText(kMonitorKey, "SerialNumber"), "2");
  EXPECT_TRUE(log.Entries().empty());
}

TEST_F(RawPrintTest, OnlyTheRefusalOfAJobReprintedTooOftenIsLogged) {
  RecordingPrintSystem spooler;
  TestJob job;
  ActionReprint action;
  action.LoadFromString(WSTR("Reprint: Office"));
  const std::string path = DataFile("abc");
  for (DWORD error : {static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), static_cast<DWORD>(ERROR_ACCESS_DENIED)}) {
    spooler.FailAt("StartDocPrinterA", 1, error);
    action.Run(qv::ToUtf16(path), job.Get(), 0);
  }
  EXPECT_TRUE(log.Entries().empty());
  spooler.FailAt("StartDocPrinterA", 1, ERROR_PRINTQ_FULL);
  action.Run(qv::ToUtf16(path), job.Get(), 0);
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{
                               Entry(518, "ActionReprint::Run", "Too many reprints in a row, not printed on Office")}));
}

// The embedded print system: the reprint becomes a job of the target printer, despooled at once
// when no job is running.
class EmbeddedReprintTest : public RawPrintTest {
 protected:
  EmbeddedReprintTest() {
    EXPECT_EQ(qv::AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
    fs::create_directories(prefix.Path("drive_c"));
  }

  std::vector<fs::path> Printed(const std::string& printer) const {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(prefix.Path("spool/printed/" + printer), error))
      files.push_back(entry.path());
    return files;
  }
};

TEST_F(EmbeddedReprintTest, TheTargetPrinterGetsTheBytesUnchanged) {
  TestJob job;
  job.Document("Invoice 7");
  ActionReprint action;
  action.LoadFromString(WSTR("Reprint: Office"));
  for (size_t size : {size_t{10000}, size_t{0}}) {
    SCOPED_TRACE(size);
    for (const fs::path& old : Printed("Office")) fs::remove(old);
    action.Run(qv::ToUtf16(DataFile(Bytes(size, 3))), job.Get(), 0);
    const std::vector<fs::path> printed = Printed("Office");
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(ReadFile(printed[0].string()), Bytes(size, 3));
  }
  std::vector<qv::JobEntry> jobs;
  ASSERT_EQ(qv::ListJobs(jobs), ERROR_SUCCESS);
  EXPECT_TRUE(jobs.empty());
  EXPECT_TRUE(log.Entries().empty());
}

TEST_F(EmbeddedReprintTest, TheTargetsJobShowsTheReceivedDocumentName) {
  // A port no monitor has: the job stays in the spool, failed, and can be looked at.
  ASSERT_EQ(qv::AddPrinter("Held", "LPT9:", ""), ERROR_SUCCESS);
  TestJob job;
  job.Document("Invoice 7");
  ActionReprint action;
  action.LoadFromString(WSTR("Reprint: Held"));
  action.Run(qv::ToUtf16(DataFile("abc")), job.Get(), 0);
  std::vector<qv::JobEntry> jobs;
  ASSERT_EQ(qv::ListJobs(jobs), ERROR_SUCCESS);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].printer, "Held");
  EXPECT_EQ(jobs[0].document, "Invoice 7");
  EXPECT_EQ(jobs[0].size, 3u);
  EXPECT_EQ(jobs[0].hops, 0u) << "not printed from inside a job";
}

TEST_F(EmbeddedReprintTest, AnUnknownPrinterIsNoFailureOfTheScript) {
  Printer printer("Nowhere");
  EXPECT_FALSE(printer.PrintFile(DataFile("abc")));
  EXPECT_EQ(printer.Error(), ERROR_INVALID_PRINTER_NAME);

  SetText(std::string(kMonitorKey) + "\\QV1", "Script", "Reprint: Nowhere\r\nWriteFile: C:\\out.prn");
  Script script;
  script.LoadFromRegistry(WSTR("QV1"));
  TestJob job;
  script.Run(qv::ToUtf16(DataFile("abc")), job.Get());
  EXPECT_EQ(ReadFile(prefix.Path("drive_c/out.prn")), "abc") << "the next action runs";
  EXPECT_TRUE(log.Entries().empty());
}

}  // namespace

// EndDocPort hands the job to the job processor, here the recording server under the job
// processor's ProgIDs.
#include "MonitorFixture.h"

#include <MarrowjetInterfaces.h>
#include <qv/comreg.h>
#include <qv/diagnostics.h>
#include <qv/utf.h>

#include <map>

#include "LogEntries.h"
#include "TestLog.h"

namespace {

namespace fs = std::filesystem;

class HandOffTest : public MonitorTest {
 protected:
  HandOffTest() : server_(RegisterRecordingServer()) {}
  RecordingServerState& server_;
};

const std::vector<std::string> kSettersInOrder = {
    "DataType=RAW",        "DocumentName=Report.pdf", "DriverName=Generic Driver", "ID=7",
    "MachineName=WORKSTATION", "NotifyName=alice",    "PrinterName=Printer",       "Priority=1",
    "Size=1234",           "TotalPages=3",            "UserName=alice"};

std::vector<std::string> Then(std::vector<std::string> calls, std::initializer_list<const char*> more) {
  calls.insert(calls.end(), more.begin(), more.end());
  return calls;
}

TEST_F(HandOffTest, TheJobReachesPrintFileWholeWithItsPropertiesInOrder) {
  const std::u16string portName = u"Quorvane: Büro \\ Port 2 ";
  HANDLE port = Open(portName);
  ASSERT_TRUE(Start(port));
  ASSERT_TRUE(Write(port, std::string("\0\x01\xFFhello", 8)));
  const fs::path file = TempFiles().at(0);

  ASSERT_TRUE(End(port));
  EXPECT_EQ(server_.calls, Then(kSettersInOrder, {"PrintFile", "~Controller", "~Job"}));
  ASSERT_EQ(server_.printFiles.size(), 1u);
  const PrintFileCall& call = server_.printFiles[0];
  EXPECT_EQ(call.portName, portName);
  EXPECT_EQ(call.tempPath, qv::ToUtf16(file.string()));
  EXPECT_TRUE(call.fileExisted);
  EXPECT_EQ(call.fileBytes, std::string("\0\x01\xFFhello", 8));
  EXPECT_TRUE(call.jobWasTheOneSetUp);
  EXPECT_EQ(server_.liveObjects, 0);
  EXPECT_EQ(server_.overReleases, 0);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(Spooler().setJobCalls.size(), 1u);
}

// Only a failure other than "buffer too small" ends the reading of the job's properties: a
// spooler that answers the size query with success has given the size all the same.
TEST_F(HandOffTest, ASizeQueryThatSucceedsStillLoadsTheJob) {
  Spooler().sizeQuerySucceeds = true;
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port)) << GetLastError();
  ASSERT_TRUE(Write(port, "data"));
  ASSERT_TRUE(End(port));
  EXPECT_EQ(server_.calls, Then(kSettersInOrder, {"PrintFile", "~Controller", "~Job"}));
  ASSERT_EQ(Spooler().setJobCalls.size(), 1u);
  EXPECT_EQ(Spooler().setJobCalls[0].jobId, 7u);
}

// Each job goes off with the name of the port it was started on, whichever port was opened last.
TEST_F(HandOffTest, EveryPortHandsItsJobOffUnderItsOwnName) {
  Spooler().jobs[8] = FakeJob{};
  struct Case {
    const char* name;
    bool firstEndsFirst;
  } cases[] = {{"in the order opened", true}, {"the last opened first", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_.Reset();
    HANDLE one = Open(u"QV1:");
    HANDLE two = Open(u"QV2:");
    ASSERT_TRUE(Start(one, 7));
    ASSERT_TRUE(Start(two, 8));
    ASSERT_TRUE(Write(one, "one"));
    ASSERT_TRUE(Write(two, "two"));
    if (c.firstEndsFirst) {
      ASSERT_TRUE(End(one));
      ASSERT_TRUE(End(two));
    } else {
      ASSERT_TRUE(End(two));
      ASSERT_TRUE(End(one));
    }
    ASSERT_EQ(server_.printFiles.size(), 2u);
    std::map<std::u16string, std::string> handedOff;
    for (const PrintFileCall& call : server_.printFiles) handedOff[call.portName] = call.fileBytes;
    EXPECT_EQ(handedOff, (std::map<std::u16string, std::string>{{u"QV1:", "one"}, {u"QV2:", "two"}}));
    EXPECT_EQ(server_.printFiles[0].portName, c.firstEndsFirst ? u"QV1:" : u"QV2:");
    monitor_.pfnClosePort(one);
    monitor_.pfnClosePort(two);
  }
}

// The job is marked printed only once its script has run: a process that dies during the
// script leaves the job with the spooler, to be sent again.
TEST_F(HandOffTest, TheScriptRunsBeforeTheJobIsMarkedPrinted) {
  size_t markedDuringScript = 99;
  server_.duringPrintFile = [&] { markedDuringScript = Spooler().setJobCalls.size(); };
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port));
  ASSERT_TRUE(End(port));
  EXPECT_EQ(markedDuringScript, 0u);
  ASSERT_EQ(Spooler().setJobCalls.size(), 1u);
  EXPECT_EQ(Spooler().setJobCalls[0].command, static_cast<DWORD>(JOB_CONTROL_LAST_PAGE_EJECTED));
}

TEST_F(HandOffTest, MissingStringsCrossAsEmptyStrings) {
  FakeJob job;
  job.machine = job.user = job.document = job.notify = job.datatype = job.driver = std::nullopt;
  Spooler().jobs[7] = job;
  HANDLE port = Open(u"");
  ASSERT_TRUE(Start(port));
  ASSERT_TRUE(End(port));
  EXPECT_FALSE(server_.nullStrings);
  EXPECT_EQ(server_.calls, (std::vector<std::string>{"DataType=", "DocumentName=", "DriverName=", "ID=7",
                                                     "MachineName=", "NotifyName=", "PrinterName=Printer",
                                                     "Priority=1", "Size=1234", "TotalPages=3", "UserName=",
                                                     "PrintFile", "~Controller", "~Job"}));
  ASSERT_EQ(server_.printFiles.size(), 1u);
  EXPECT_EQ(server_.printFiles[0].portName, u"");
  EXPECT_TRUE(server_.printFiles[0].fileExisted) << "a job without bytes is an empty file";
  EXPECT_EQ(server_.printFiles[0].fileBytes, "");
}

TEST_F(HandOffTest, APortOpenedUnderItsDecoratedNameKeepsItsName) {
  auto decorated = reinterpret_cast<int (*)(unsigned short*, void**)>(library_->Symbol("_Z13LocalOpenPortPtPPv"));
  unsigned short name[] = {'Q', 'V', 0x00FC, ':', 0};
  void* port = nullptr;
  ASSERT_TRUE(decorated(name, &port));
  ASSERT_TRUE(Start(port));
  ASSERT_TRUE(End(port));
  ASSERT_EQ(server_.printFiles.size(), 1u);
  EXPECT_EQ(server_.printFiles[0].portName, u"QVü:");
}

TEST_F(HandOffTest, AJobOnAClosedPortIsHandedOffWithoutAName) {
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port));
  ASSERT_TRUE(monitor_.pfnClosePort(port));
  ASSERT_TRUE(End(port));
  ASSERT_EQ(server_.printFiles.size(), 1u);
  EXPECT_EQ(server_.printFiles[0].portName, u"");
}

TEST_F(HandOffTest, AHandOffThatCannotCompleteStillEndsTheJob) {
  struct Case {
    const char* name;
    bool controllerRegistered;
    HRESULT printFileResult;
    std::vector<std::string> calls;
  };
  for (const Case& c : {Case{"PrintFile fails", true, E_FAIL, Then(kSettersInOrder, {"PrintFile", "~Controller", "~Job"})},
                        Case{"no Controller", false, S_OK, Then(kSettersInOrder, {"~Job"})}}) {
    SCOPED_TRACE(c.name);
    server_.Reset();
    server_.printFileResult = c.printFileResult;
    if (!c.controllerRegistered) {
      ASSERT_EQ(UnregisterInprocServerClass(CLSID_Controller, PROGID_Controller), S_OK);
    }
    Spooler().setJobCalls.clear();
    HANDLE port = Open(u"QV1:");
    ASSERT_TRUE(Start(port));
    EXPECT_TRUE(End(port));
    EXPECT_EQ(server_.calls, c.calls);
    EXPECT_EQ(server_.liveObjects, 0);
    EXPECT_EQ(Spooler().setJobCalls.size(), 1u);
    EXPECT_TRUE(TempFiles().empty());
  }
}

// A host's sink changes nothing the monitor does: the job still ends with TRUE, the print
// system is still told it was printed, and the log entry is the same, byte for byte.
TEST_F(HandOffTest, ASinkSeesTheFailureAndChangesNothingElse) {
  struct Sink : qv::DiagnosticsSink {
    void Deliver(const qv::Failure& failure) noexcept override { delivered.push_back(failure); }
    std::vector<qv::Failure> delivered;
  } sink;
  const std::string log = prefix_.Path("monitor.log");
  SetLogFile(log);
  std::vector<std::string> entries;
  for (bool withSink : {false, true}) {
    SCOPED_TRACE(withSink ? "with a sink" : "without a sink");
    qv::SetDiagnosticsSink(withSink ? &sink : nullptr);
    server_.Reset();
    server_.printFileResult = E_FAIL;
    Spooler().setJobCalls.clear();
    HANDLE port = Open(u"QV1:");
    ASSERT_TRUE(Start(port));
    EXPECT_TRUE(End(port));
    EXPECT_EQ(server_.calls, Then(kSettersInOrder, {"PrintFile", "~Controller", "~Job"}));
    EXPECT_EQ(Spooler().setJobCalls.size(), 1u);
    EXPECT_TRUE(TempFiles().empty());
    qv::SetDiagnosticsSink(nullptr);
  }
  const std::vector<LogEntry> written = LogEntries(ReadFileText(log));
  ASSERT_EQ(written.size(), 2u);
  for (const LogEntry& entry : written) {
    EXPECT_EQ(entry.code, Padded(std::to_string(static_cast<LONG>(E_FAIL)), 11));
    EXPECT_EQ(entry.source, Padded("LocalEndDocPort", 21));
  }
  EXPECT_EQ(written[0].text, written[1].text);
  ASSERT_EQ(sink.delivered.size(), 1u);
  EXPECT_EQ(sink.delivered[0].number, static_cast<LONG>(E_FAIL));
  EXPECT_EQ(sink.delivered[0].source, "LocalEndDocPort");
  EXPECT_EQ(sink.delivered[0].description + "\r\n", written[1].text + "\r\n");
}

TEST_F(MonitorTest, WithNoJobProcessorTheJobIsStillEnded) {
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port));
  ASSERT_TRUE(Write(port, "lost"));
  EXPECT_TRUE(End(port));
  EXPECT_EQ(Spooler().setJobCalls.size(), 1u);
  EXPECT_TRUE(TempFiles().empty());
}

}  // namespace

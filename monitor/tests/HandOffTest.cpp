// EndDocPort hands the job to the job processor, here the recording server under the job
// processor's ProgIDs.
#include "MonitorFixture.h"

#include <MarrowjetInterfaces.h>
#include <qv/comreg.h>
#include <qv/utf.h>

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

TEST_F(MonitorTest, WithNoJobProcessorTheJobIsStillEnded) {
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port));
  ASSERT_TRUE(Write(port, "lost"));
  EXPECT_TRUE(End(port));
  EXPECT_EQ(Spooler().setJobCalls.size(), 1u);
  EXPECT_TRUE(TempFiles().empty());
}

}  // namespace

// A job processor that records what the monitor hands it, registered under the real ProgIDs
// and class identifiers ("MarrowjetUI.Job", "MarrowjetUI.Controller") by its DllRegisterServer.
// Tests reach its record through the exported RecordingServer().
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct PrintFileCall {
  std::u16string portName;
  std::u16string tempPath;
  bool fileExisted = false;
  std::string fileBytes;
  bool jobWasTheOneSetUp = false;
};

struct RecordingServerState {
  // Every call on a Job or Controller in order: "DataType=RAW", "ID=7", "PrintFile",
  // "~Controller", "~Job", "get_Size", "AddPort 4660", "ConfigurePort QV1: 4660",
  // "DeletePort QV1:", ...
  std::vector<std::string> calls;
  std::vector<PrintFileCall> printFiles;
  int liveObjects = 0;
  int overReleases = 0;     // Release calls on an object already at zero
  bool nullStrings = false; // a null BSTR reached a setter
  HRESULT printFileResult = S_OK;
  HRESULT portCallResult = S_OK;  // what AddPort, ConfigurePort and DeletePort answer
  std::function<void()> duringPrintFile;  // runs inside PrintFile, before it returns

  void Reset() { *this = RecordingServerState(); }
};

extern "C" RecordingServerState* RecordingServer(void);

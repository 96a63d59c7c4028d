// A spooler that the test program plays itself: its OpenPrinterW, GetJobW, SetJobW and
// ClosePrinter are defined in the program and exported from it, so the monitor library, which
// is loaded later, binds to them instead of the print system's. Tests set up printers and jobs
// and read back what the monitor asked for.
#pragma once
#include <windows.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct FakeJob {
  // Absent strings are handed out as null pointers.
  std::optional<std::u16string> machine = WSTR("WORKSTATION");
  std::optional<std::u16string> user = WSTR("alice");
  std::optional<std::u16string> document = WSTR("Report.pdf");
  std::optional<std::u16string> notify = WSTR("alice");
  std::optional<std::u16string> datatype = WSTR("RAW");
  std::optional<std::u16string> driver = WSTR("Generic Driver");
  std::optional<std::u16string> printerInInfo = WSTR("name in the job information");
  DWORD priority = 1;
  DWORD totalPages = 3;
  DWORD size = 1234;
};

struct SetJobCall {
  std::u16string printer;  // empty for a null handle
  DWORD jobId;
  DWORD command;
};

struct FakeSpooler {
  std::set<std::u16string> printers;
  std::map<DWORD, FakeJob> jobs;  // answered through any printer
  DWORD getJobFailure = 0;        // when set, every GetJobW fails with it
  bool sizeQuerySucceeds = false; // GetJobW without a buffer answers TRUE with the size
  std::vector<SetJobCall> setJobCalls;
  std::vector<std::u16string> openedDatatypes;
  std::vector<ACCESS_MASK> openedAccess;
  int openPrinters = 0;  // open now

  void Reset() { *this = FakeSpooler(); }
};

FakeSpooler& Spooler();

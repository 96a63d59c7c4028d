// Installing and removing the monitor on the embedded print system: DllRegisterServer,
// DllUnregisterServer with the printers moved to "FILE:", the type library and its fallback
// file, the component-object exports, and DeletePort through the real job processor.
#include "LogEntries.h"
#include "MonitorLibrary.h"
#include "TestLog.h"

#include <MarrowjetInterfaces.h>
#include <TempPrefix.h>
#include <qv/prefix.h>
#include <qv/print_system.h>
#include <qv/typelib.h>
#include <qv/utf.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

namespace {

namespace fs = std::filesystem;
using Export = HRESULT(STDAPICALLTYPE*)();

constexpr char16_t kMonitorKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";
constexpr char16_t kTypeLibraryKey[] = u"TypeLib\\{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}";
constexpr char16_t kVersionKey[] = u"TypeLib\\{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}\\1.0";

// A text value, or nothing when the key or value is missing.
std::optional<std::string> ReadText(HKEY root, const std::u16string& path, const char16_t* name = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  char16_t value[1024] = {};
  DWORD size = sizeof value - sizeof(char16_t);
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return qv::ToUtf8(value);
}

bool KeyExists(HKEY root, const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void WriteText(const std::u16string& path, const char16_t* name, const std::u16string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
  RegCloseKey(key);
}

// Everything the spooler keeps of a printer, as "field=value" lines.
std::string PrinterSettings(const std::string& name) {
  std::u16string wide = qv::ToUtf16(name);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(wide.data(), &printer, nullptr)) return "cannot open " + name;
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed + sizeof(PRINTER_INFO_2W));
  std::string settings;
  if (GetPrinterW(printer, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
    PRINTER_INFO_2W info;
    std::memcpy(&info, buffer.data(), sizeof info);
    auto text = [](LPWSTR value) { return value ? qv::ToUtf8(value) : std::string("(null)"); };
    settings = "port=" + text(info.pPortName) + " driver=" + text(info.pDriverName) + " comment=" +
               text(info.pComment) + " location=" + text(info.pLocation) + " processor=" +
               text(info.pPrintProcessor) + " datatype=" + text(info.pDatatype) +
               " attributes=" + std::to_string(info.Attributes) + " priority=" + std::to_string(info.Priority);
  }
  ClosePrinter(printer);
  return settings;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

bool MonitorInstalled() { return ReadText(HKEY_LOCAL_MACHINE, kMonitorKey, u"Driver").has_value(); }

// A library's registration exports, from a dlopen handle kept for the test.
class Library {
 public:
  explicit Library(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) throw std::runtime_error(std::string("cannot load ") + path + ": " + dlerror());
  }
  ~Library() { dlclose(handle_); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  void* Symbol(const char* name) const { return dlsym(handle_, name); }
  HRESULT Call(const char* name) const { return reinterpret_cast<Export>(Symbol(name))(); }

 private:
  void* handle_;
};

class InstallationTest : public ::testing::Test {
 protected:
  InstallationTest() : log_(prefix_.Path("monitor.log")) { SetLogFile(log_); }

  HRESULT Register() { return monitor_.Call("DllRegisterServer"); }
  // Unregisters and returns what was written on standard output.
  std::string Unregister(HRESULT& result) {
    ::testing::internal::CaptureStdout();
    result = monitor_.Call("DllUnregisterServer");
    return ::testing::internal::GetCapturedStdout();
  }

  static void AddPort(const std::u16string& name) {
    WriteText(std::u16string(kMonitorKey) + u"\\" + name, u"Script", u"WriteFile: C:\\Jobs\\?DN?.prn");
  }

  qv::testing::TempPrefix prefix_;
  std::string log_;
  Library monitor_{MonitorLibrary::Path()};
};

TEST_F(InstallationTest, RegisteringTwiceLogsTheSecondAdditionAndSucceeds) {
  EXPECT_EQ(Register(), S_OK);
  EXPECT_EQ(ReadFileText(log_), "");
  EXPECT_EQ(Register(), S_OK);
  const std::vector<LogEntry> entries = LogEntries(ReadFileText(log_));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].code, Padded("3006", 11));
  EXPECT_EQ(entries[0].source, Padded("DLLRegisterServer", 21));

  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kMonitorKey, u"Driver"), "QVPM.DLL");
  const fs::path library = fs::canonical(MonitorLibrary::Path());
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kVersionKey), "Marrowjet 1.0 Type Library");
  const std::optional<std::string> registered = ReadText(HKEY_CLASSES_ROOT, std::u16string(kVersionKey) + u"\\409\\win32");
  ASSERT_TRUE(registered);
  EXPECT_EQ(fs::canonical(*registered), library);
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, std::u16string(kVersionKey) + u"\\HELPDIR"),
            registered->substr(0, registered->rfind('/') + 1));
}

TEST_F(InstallationTest, UnregisteringMovesOnlyPrintersOnTheMonitorsPortsToFile) {
  ASSERT_EQ(Register(), S_OK);
  AddPort(u"QV1:");
  ASSERT_EQ(qv::AddPrinter("Office", "QV1:", "Office Driver"), 0u);
  ASSERT_EQ(qv::AddPrinter("Elsewhere", "LPT9:", "Other Driver"), 0u);
  ASSERT_EQ(qv::AddPrinter("Plain", "FILE:", ""), 0u);
  const std::string office = PrinterSettings("Office");
  const std::string elsewhere = PrinterSettings("Elsewhere");
  ASSERT_NE(office.find("port=QV1: "), std::string::npos) << office;

  HRESULT result = E_FAIL;
  EXPECT_EQ(Unregister(result), "Office: Quorvane: QV1:\n");
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(PrinterSettings("Office"), Replaced(office, "port=QV1: ", "port=FILE: "));
  EXPECT_EQ(PrinterSettings("Elsewhere"), elsewhere);

  EXPECT_FALSE(MonitorInstalled());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibraryKey));
  // The ports and their scripts stay for the next installation.
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, std::u16string(kMonitorKey) + u"\\QV1:", u"Script"),
            "WriteFile: C:\\Jobs\\?DN?.prn");
}

TEST_F(InstallationTest, UnregisteringWithoutPrintersRemovesTheMonitor) {
  ASSERT_EQ(Register(), S_OK);
  HRESULT result = E_FAIL;
  EXPECT_EQ(Unregister(result), "");
  EXPECT_EQ(result, S_OK);
  EXPECT_FALSE(MonitorInstalled());
  // Twice: nothing left to remove, still S_OK.
  EXPECT_EQ(Unregister(result), "");
  EXPECT_EQ(result, S_OK);
}

TEST_F(InstallationTest, APooledPrinterStaysAndTheRefusedRemovalIsIgnored) {
  ASSERT_EQ(Register(), S_OK);
  AddPort(u"QV1:");
  ASSERT_EQ(qv::AddPrinter("Pool", "QV1:,LPT1:", ""), 0u);
  const std::string pool = PrinterSettings("Pool");
  HRESULT result = E_FAIL;
  EXPECT_EQ(Unregister(result), "");
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(PrinterSettings("Pool"), pool);
  EXPECT_TRUE(MonitorInstalled()) << "the print system refuses while a printer uses the port";
}

TEST_F(InstallationTest, TheLibraryServesNoClassesAndMayAlwaysBeUnloaded) {
  auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*)>(
      monitor_.Symbol("DllGetClassObject"));
  ASSERT_NE(getClassObject, nullptr);
  EXPECT_EQ(getClassObject(CLSID_Controller, IID_IClassFactory, nullptr), E_POINTER);
  for (const CLSID& clsid : {CLSID_Controller, CLSID_Job, IID_NULL}) {
    void* object = &object;
    EXPECT_EQ(getClassObject(clsid, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
  }
  EXPECT_EQ(monitor_.Call("DllCanUnloadNow"), S_OK);
}

// A copy of the monitor built without its type library record finds the ".tlb" beside it;
// only a dot in the file's own name starts the extension that is replaced.
TEST_F(InstallationTest, WithoutTheRecordTheTypeLibraryFileBesideIsRegistered) {
  const auto* record = static_cast<const TYPELIBRECORD*>(monitor_.Symbol("TypeLibraryResource"));
  ASSERT_NE(record, nullptr);
  struct Case {
    std::string folder, file, typeLibrary;
  };
  const Case cases[] = {{"plain", "libqvpm.so", "libqvpm.tlb"}, {"v1.2", "qvpm", "qvpm.tlb"}};
  for (const Case& test : cases) {
    SCOPED_TRACE(test.folder + "/" + test.file);
    const fs::path folder = fs::canonical(prefix_.Dir()) / test.folder;
    fs::create_directories(folder);
    fs::copy_file(qv::LibraryDir() + "/libqvpm_without_typelib.so", folder / test.file);
    const std::string typeLibrary = (folder / test.typeLibrary).string();
    Library copy((folder / test.file).string());

    EXPECT_EQ(copy.Call("DllRegisterServer"), TYPE_E_CANTLOADLIBRARY) << "no record, no file";
    ASSERT_TRUE(qv::WriteTypeLibraryFile(typeLibrary, *record));
    EXPECT_EQ(copy.Call("DllRegisterServer"), S_OK);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, std::u16string(kVersionKey) + u"\\409\\win32"), typeLibrary);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, std::u16string(kVersionKey) + u"\\HELPDIR"), folder.string() + "/");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(copy.Call("DllUnregisterServer"), S_OK);
    ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibraryKey));
  }
}

// The monitor's DeletePort reaches the job processor's Controller, which removes the port's
// key; a port that does not exist is no failure.
TEST_F(InstallationTest, DeletePortThroughTheJobProcessor) {
  Library jobProcessor(qv::LibraryDir() + "/libmarrowjetui.so");
  ASSERT_EQ(jobProcessor.Call("DllRegisterServer"), S_OK);
  auto initialize = reinterpret_cast<PFN_InitializePrintMonitor>(monitor_.Symbol("InitializePrintMonitor"));
  std::u16string root = kMonitorKey;
  const MONITOR monitor = initialize(root.data())->Monitor;
  AddPort(u"QV1:");
  std::u16string existing = u"QV1:", missing = u"Nowhere";
  EXPECT_TRUE(monitor.pfnDeletePort(nullptr, nullptr, missing.data()));
  EXPECT_TRUE(monitor.pfnDeletePort(nullptr, nullptr, existing.data()));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::u16string(kMonitorKey) + u"\\QV1:"));
  EXPECT_EQ(ReadFileText(log_), "");
}

}  // namespace

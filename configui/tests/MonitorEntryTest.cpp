// The dialogs reached the way the spooler reaches them: the monitor's AddPort and
// ConfigurePort entry points, with an owner window, creating the registered job processor.
#include <dlfcn.h>
#include <qv/prefix.h>
#include <winspool.h>
#include <winsplp.h>

#include "DialogFixture.h"

namespace configui_testing {
namespace {

constexpr char16_t kRoot[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";

class Library {
 public:
  explicit Library(const std::string& name) : handle_(dlopen((qv::LibraryDir() + "/" + name).c_str(), RTLD_NOW)) {}
  ~Library() {
    if (handle_) dlclose(handle_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  void* Symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

 private:
  void* handle_;
};

class MonitorEntryTest : public DialogTest {
 protected:
  MonitorEntryTest() : server_("libmarrowjetui.so"), monitorLibrary_("libqvpm.so") {
    auto registerServer = reinterpret_cast<HRESULT (*)()>(server_.Symbol("DllRegisterServer"));
    auto initialize = reinterpret_cast<PFN_InitializePrintMonitor>(monitorLibrary_.Symbol("InitializePrintMonitor"));
    if (!registerServer || !initialize) return;
    EXPECT_EQ(registerServer(), S_OK);
    std::u16string root = kRoot;
    if (LPMONITOREX table = initialize(root.data())) monitor_ = &table->Monitor;
  }

  Library server_;
  Library monitorLibrary_;
  MONITOR* monitor_ = nullptr;
  QvForms::Form owner_{WSTR("Printer Properties"), 400, 300};
};

TEST_F(MonitorEntryTest, AddPortShowsTheDialogOverTheOwnerAndStoresThePort) {
  ASSERT_NE(monitor_, nullptr);
  Play(Join({{Step::Type("txtPortName", "Demo")}, AddWriteFile("C:\\Jobs\\?DN?.prn"), {Step::Click("OKButton")}}));
  std::u16string monitorName = u"Quorvane";
  EXPECT_TRUE(monitor_->pfnAddPort(nullptr, owner_.Handle(), monitorName.data()));
  ASSERT_FALSE(User().Forms().empty());
  EXPECT_EQ(User().Forms()[0].title, kPortDialog);
  EXPECT_EQ(User().Forms()[0].owner, owner_.Handle());
  EXPECT_EQ(StoredScript("Demo"), "WriteFile: C:\\Jobs\\?DN?.prn");
}

TEST_F(MonitorEntryTest, AddPortSucceedsWhenCancelledAndARefusalIsShownOverTheDialog) {
  ASSERT_NE(monitor_, nullptr);
  Play({Step::Click("OKButton"), Step::Click("CancelButton")});
  std::u16string monitorName = u"Quorvane";
  EXPECT_TRUE(monitor_->pfnAddPort(nullptr, owner_.Handle(), monitorName.data()));
  ASSERT_EQ(User().Boxes().size(), 1u);
  EXPECT_EQ(User().Boxes()[0].text, "You must specify a port name");
  EXPECT_NE(User().Boxes()[0].owner, owner_.Handle());  // owned by the dialog, which lies above
  EXPECT_NE(User().Boxes()[0].owner, nullptr);
}

TEST_F(MonitorEntryTest, ConfigurePortEditsTheStoredScript) {
  ASSERT_NE(monitor_, nullptr);
  StoreScript("Demo", "WriteFile: C:\\a.prn\r\nReprint: Office");
  Play({Step::Select("listPortActions", 1), Step::Click("btnMoveActionUp"), Step::Click("OKButton")});
  std::u16string port = u"Demo";
  EXPECT_TRUE(monitor_->pfnConfigurePort(nullptr, owner_.Handle(), port.data()));
  EXPECT_EQ(User().Forms().at(0).owner, owner_.Handle());
  EXPECT_EQ(StoredScript("Demo"), "Reprint: Office\r\nWriteFile: C:\\a.prn");
}

TEST_F(MonitorEntryTest, AnOwnerThatNamesNoWindowIsKeptAsGiven) {
  ASSERT_NE(monitor_, nullptr);
  Play({Step::Click("CancelButton")});
  std::u16string monitorName = u"Quorvane";
  const HWND foreign = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x0420000Bu));
  EXPECT_TRUE(monitor_->pfnAddPort(nullptr, foreign, monitorName.data()));
  EXPECT_EQ(User().Forms().at(0).owner, foreign);
}

}  // namespace
}  // namespace configui_testing

// The about box: its texts, and the system information program it starts or says is missing.
#include <qv/utf.h>
#include <sys/stat.h>
#include <unistd.h>
#include <winuser.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "DialogFixture.h"
#include "TestRegistry.h"

namespace configui_testing {
namespace {

constexpr const char* kUnavailable = "System Information Is Unavailable At This Time";

using AboutBoxTest = DialogTest;

// A program that leaves a file behind when it runs.
std::string MarkerProgram(const std::string& folder, const std::string& name, const std::string& marker) {
  const std::string path = folder + "/" + name;
  std::ofstream(path) << "#!/bin/sh\ntouch '" << marker << "'\n";
  chmod(path.c_str(), 0700);
  return path;
}

// The program runs as a process of its own; on a loaded machine (and under the
// sanitizers) starting it can take seconds, so the wait is long. Only a failure waits it out.
bool AppearsSoon(const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (access(path.c_str(), F_OK) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return access(path.c_str(), F_OK) == 0;
}


TEST_F(AboutBoxTest, ShowsNameAndVersionAndClosesWithOk) {
  std::vector<std::string> captions;
  std::string title;
  Play({Step::Inspect([&](QvForms::Form& form) {
          title = qv::ToUtf8(form.Title());
          for (const char* name : {"lblTitle", "lblVersion", "lblDisclaimer", "cmdOK", "cmdSysInfo"})
            captions.push_back(qv::ToUtf8(ControlOf(form, name).Caption));
          EXPECT_EQ(form.DefaultButton, form.CancelButton);
        }),
        Step::Key("Escape")});
  NewController()->About();
  EXPECT_EQ(title, "About Quorvane");
  EXPECT_EQ(captions, (std::vector<std::string>{"Quorvane", "Version 2.0", "", "OK", "&System Info..."}));
  EXPECT_EQ(User().Forms().at(0).owner, nullptr);
}

struct SysInfoRow {
  const char* row;
  const char* key;    // null: nothing configured
  const char* value;
  bool folder;        // the value names the folder of MSINFO32.EXE
  bool started;
};

TEST_F(AboutBoxTest, SystemInfoStartsTheConfiguredProgramOrSaysItIsUnavailable) {
  const SysInfoRow rows[] = {
      {"nothing configured", nullptr, nullptr, false, false},
      {"program path", "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", false, true},
      {"program folder", "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", true, true},
      {"program path naming nothing", "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", false, false},
  };
  int n = 0;
  for (const SysInfoRow& row : rows) {
    SCOPED_TRACE(row.row);
    const std::string marker = prefix_.Path("ran" + std::to_string(++n));
    const std::string program = MarkerProgram(prefix_.Dir(), "MSINFO32.EXE", marker);
    if (row.key) {
      std::string value = row.folder ? prefix_.Dir() : row.started ? program : prefix_.Path("missing");
      jobproc_testing::SetText(row.key, row.value, value);
    }
    Play({Step::Click("cmdSysInfo"), Step::Click("cmdOK")});
    NewController()->About();
    if (row.started) {
      EXPECT_TRUE(BoxTexts().empty());
      EXPECT_TRUE(AppearsSoon(marker));
    } else {
      ASSERT_EQ(BoxTexts(), std::vector<std::string>{kUnavailable});
      EXPECT_EQ(User().Boxes()[0].type, static_cast<UINT>(MB_OK));
      EXPECT_EQ(access(marker.c_str(), F_OK), -1);
    }
    if (row.key) jobproc_testing::DeleteValue(row.key, row.value);
  }
}

}  // namespace
}  // namespace configui_testing

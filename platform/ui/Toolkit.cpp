// The process's toolkit, and the two that need no display: none, and the loader of the FLTK
// plugin (which stays unloaded until a form or a message box is shown).
#include <qv/toolkit.h>
#include <qv/utf.h>
#include <winuser.h>

#include <dlfcn.h>

#include <cstdio>
#include <mutex>

#include "../com/LibraryLoader.h"

namespace qv::ui {
namespace {

std::string OneBlock(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // CR LF -> LF
    out += text[i];
  }
  return out;
}

int DefaultAnswer(UINT type) { return (type & 0x0F) == MB_YESNO ? IDYES : IDOK; }

// Caption, then text, on standard error, answered with the default button at once, so that
// no caller waits for a user who is not there.
int TellOnStderr(const std::string& text, const std::string& caption, UINT type) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), OneBlock(text).c_str());
  std::fflush(stderr);
  return DefaultAnswer(type);
}

class NoToolkit final : public Toolkit {
 public:
  bool RunModal(QvForms::Form& form, std::string& problem) override {
    problem = "the dialog \"" + qv::ToUtf8(form.Title()) + "\" can't be shown: there is no display and no answers were given";
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::fflush(stderr);
    return false;
  }
  void ShowPopupMenu(QvForms::Form&, QvForms::PopupMenu&, int, int) override {}
  int MessageBox(HWND, const std::string& text, const std::string& caption, UINT type) override {
    return TellOnStderr(text, caption, type);
  }
};

// Loads the plugin on first use. The plugin is never unloaded: its toolkit holds the display.
class FltkLoader final : public Toolkit {
 public:
  bool RunModal(QvForms::Form& form, std::string& problem) override {
    Toolkit* toolkit = Loaded();
    if (!toolkit) {
      problem = "the dialog \"" + qv::ToUtf8(form.Title()) + "\" can't be shown: " + loadProblem_;
      std::fprintf(stderr, "%s\n", problem.c_str());
      return false;
    }
    return toolkit->RunModal(form, problem);
  }
  void ShowPopupMenu(QvForms::Form& form, QvForms::PopupMenu& menu, int x, int y) override {
    if (Toolkit* toolkit = Loaded()) toolkit->ShowPopupMenu(form, menu, x, y);
  }
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
    if (Toolkit* toolkit = Loaded()) return toolkit->MessageBox(owner, text, caption, type);
    return TellOnStderr(text, caption, type);
  }
  void FormDestroyed(QvForms::Form& form) override {
    if (toolkit_) toolkit_->FormDestroyed(form);
  }

 private:
  Toolkit* Loaded() {
    std::call_once(once_, [this] {
      const qv::com::OpenedLibrary library = qv::com::OpenLibrary(kFltkPluginName, RTLD_NOW | RTLD_LOCAL);
      if (!library.handle) {
        loadProblem_ = std::string("the dialog library ") + kFltkPluginName + " can't be loaded";
        if (const char* why = dlerror()) loadProblem_ += std::string(" (") + why + ")";
        return;
      }
      using Factory = Toolkit* (*)();
      auto factory = reinterpret_cast<Factory>(qv::com::LibrarySymbol(library.handle, kFltkPluginFactory));
      Toolkit* made = factory ? factory() : nullptr;
      if (!made) {
        loadProblem_ = "no display can be opened";
        return;
      }
      toolkit_.reset(made);
    });
    return toolkit_.get();
  }

  std::once_flag once_;
  std::unique_ptr<Toolkit> toolkit_;
  std::string loadProblem_;
};

struct Chosen {
  std::mutex mutex;
  std::shared_ptr<Toolkit> toolkit;
};

Chosen& TheChosen() {
  static Chosen* chosen = new Chosen;  // forms may outlive static destruction order
  return *chosen;
}

}  // namespace

std::shared_ptr<Toolkit> NewNoToolkit() { return std::make_shared<NoToolkit>(); }
std::shared_ptr<Toolkit> NewFltkToolkit() { return std::make_shared<FltkLoader>(); }

std::shared_ptr<Toolkit> UseToolkit(std::shared_ptr<Toolkit> toolkit) {
  Chosen& chosen = TheChosen();
  std::lock_guard lock(chosen.mutex);
  std::swap(chosen.toolkit, toolkit);
  return toolkit;
}

std::shared_ptr<Toolkit> CurrentToolkit() {
  Chosen& chosen = TheChosen();
  std::lock_guard lock(chosen.mutex);
  if (!chosen.toolkit) chosen.toolkit = NewNoToolkit();
  return chosen.toolkit;
}

}  // namespace qv::ui

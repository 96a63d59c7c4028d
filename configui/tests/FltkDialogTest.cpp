// The dialogs drawn by the FLTK toolkit and driven like a person drives them: real modal loops
// under a display (Xvfb in CI), actions scheduled inside FLTK's own loop. Skipped, with a
// message, where no display can be opened.
#include <gtest/gtest.h>
#include <qv/print_system.h>
#include <qv/utf.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <thread>

#include "ControllerFilePath.h"
#include "DialogFixture.h"
#include "FltkToolkit.h"

// FLTK last: its X11 headers define None, Status and Bool as macros.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Input_Choice.H>
#include <FL/Fl_Window.H>

namespace configui_testing {
namespace {

using qv::ui::fltk::FltkToolkit;

// Runs one action per timeout inside whatever modal loop is running. A step given with `When`
// waits for its scene (a dialog opened or closed, a menu up): a dialog opens or closes only when
// its loop next turns, later still on a loaded machine, so a fixed delay alone would read the
// previous window. A watchdog closes every dialog should a test lose its way, so a failure never
// hangs the suite.
class Driver {
 public:
  explicit Driver(FltkToolkit& toolkit) : toolkit_(toolkit) {}
  ~Driver() {
    Fl::remove_timeout(Next, this);
    Fl::remove_timeout(Watchdog, this);
  }
  void Then(std::function<void()> action) { When([] { return true; }, std::move(action)); }
  void When(std::function<bool()> ready, std::function<void()> action) {
    steps_.push_back({std::move(ready), std::move(action)});
  }
  void Start() {
    Fl::add_timeout(kTick, Next, this);
    Fl::add_timeout(60.0, Watchdog, this);
  }
  bool Finished() const { return steps_.empty(); }

 private:
  struct Step {
    std::function<bool()> ready;
    std::function<void()> action;
  };
  static constexpr double kTick = 0.02;

  static void Next(void* data) {
    auto* self = static_cast<Driver*>(data);
    if (self->steps_.empty()) return;
    if (!self->steps_.front().ready()) {
      Fl::add_timeout(kTick, Next, self);
      return;
    }
    std::function<void()> action = std::move(self->steps_.front().action);
    self->steps_.pop_front();
    if (!self->steps_.empty()) Fl::add_timeout(kTick, Next, self);  // before: the step may block
    action();
  }
  static void Watchdog(void* data) {
    auto* self = static_cast<Driver*>(data);
    ADD_FAILURE() << "the dialogs were still open after 60 s";
    self->steps_.clear();
    if (Fl_Window* box = self->toolkit_.OpenMessageBox()) box->hide();
    for (QvForms::Form* form : self->toolkit_.ShownForms()) form->Hide();
  }

  FltkToolkit& toolkit_;
  std::deque<Step> steps_;
};

// Opens the display named by DISPLAY, waiting for it to take connections. An X server started
// without -noreset (xvfb-run's default) resets whenever its last client leaves and turns away
// the clients that come meanwhile; the dialog tests run one at a time, each in a process of its
// own, so each may come just then. With no DISPLAY set there is nothing to wait for.
bool DisplayOpened() {
  const char* name = std::getenv("DISPLAY");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!qv::ui::fltk::OpenDisplay()) {
    if (!name || !*name || std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class FltkDialogTest : public DialogTest {
 protected:
  void SetUp() override {
    if (!DisplayOpened()) GTEST_SKIP() << "no display can be opened; run under xvfb-run";
    toolkit_ = std::make_shared<FltkToolkit>();
    previous_ = qv::ui::UseToolkit(toolkit_);
    Fl::e_state = 0;
    Fl::e_keysym = 0;
  }
  void TearDown() override {
    if (toolkit_) qv::ui::UseToolkit(previous_);
  }

  QvForms::Form& Top() { return *toolkit_->ShownForms().back(); }
  std::string TopTitle() { return toolkit_->ShownForms().empty() ? "" : qv::ToUtf8(Top().Title()); }
  Fl_Window* TopWindow() { return toolkit_->WindowOf(Top()); }
  // Scenes a step waits for: the dialog with this title on top (and no message box over it).
  std::function<bool()> Showing(std::string title) {
    return [this, title] { return TopTitle() == title && !toolkit_->OpenMessageBox() && !Fl::grab(); };
  }
  std::function<bool()> BoxShowing() {
    return [this] { return toolkit_->OpenMessageBox() != nullptr; };
  }
  std::function<bool()> MenuShowing() {
    return [] { return Fl::grab() != nullptr; };
  }
  template <class Widget>
  Widget* W(const std::string& control) {
    return dynamic_cast<Widget*>(toolkit_->WidgetOf(ControlOf(Top(), control)));
  }
  void Press(const std::string& button) { W<Fl_Button>(button)->do_callback(); }
  static void Key(Fl_Window* window, int key) {
    static char text[2] = {0, 0};
    text[0] = key == FL_Enter ? '\r' : key == FL_Escape ? '\033' : key == FL_Tab ? '\t' : 0;
    Fl::e_keysym = key;
    Fl::e_text = text;
    Fl::e_length = text[0] ? 1 : 0;
    Fl::handle(FL_KEYBOARD, window);
  }
  Fl_Widget* FocusedWidget() {
    Fl_Widget* focus = Fl::focus();
    return focus && focus->parent() && dynamic_cast<Fl_Input_Choice*>(focus->parent()) ? focus->parent() : focus;
  }

  std::shared_ptr<FltkToolkit> toolkit_;
  std::shared_ptr<qv::ui::Toolkit> previous_;
};

TEST_F(FltkDialogTest, ThePortDialogShowsItsControlsTabOrderAndKeys) {
  Driver driver(*toolkit_);
  std::vector<std::string> focusOrder;
  driver.Then([&] {
    EXPECT_EQ(TopTitle(), "Add New Port");
    EXPECT_STREQ(W<Fl_Widget>("Label1")->label(), "PortName:");
    EXPECT_STREQ(W<Fl_Widget>("Label2")->label(), "Destinations:");
    EXPECT_STREQ(W<Fl_Button>("OKButton")->label(), "OK");
    EXPECT_STREQ(W<Fl_Button>("btnAbout")->label(), "&About");
    EXPECT_EQ(W<Fl_Button>("OKButton")->shortcut(), FL_Enter);
    const std::pair<const char*, const char*> tips[] = {{"btnAddAction", "Add New Action"},
                                                         {"btnDeleteAction", "Delete Selected Action"},
                                                         {"btnMoveActionUp", "Move Selected Action Up"},
                                                         {"btnMoveActionDown", "Move Selected Action Down"}};
    for (const auto& [name, tip] : tips) {
      Fl_Button* button = W<Fl_Button>(name);
      ASSERT_NE(button, nullptr) << name;
      EXPECT_STREQ(button->tooltip(), tip);
      ASSERT_NE(button->image(), nullptr);
      EXPECT_EQ(button->image()->w(), 16);
      EXPECT_NE(button->deimage(), nullptr);  // greyed when disabled
      EXPECT_EQ(button->label(), nullptr);
    }
    for (int i = 0; i < 4; ++i) {
      for (const char* name : {"txtPortName", "OKButton", "CancelButton", "listPortActions"})
        if (FocusedWidget() == W<Fl_Widget>(name)) focusOrder.push_back(name);
      Key(TopWindow(), FL_Tab);
    }
  });
  driver.Then([&] { Key(TopWindow(), FL_Escape); });
  driver.Start();
  NewController()->AddPort(0, nullptr);
  EXPECT_TRUE(driver.Finished());
  EXPECT_EQ(focusOrder, (std::vector<std::string>{"txtPortName", "OKButton", "CancelButton", "listPortActions"}));
}

TEST_F(FltkDialogTest, ButtonsReachTheControllerAndEnterStores) {
  StoreScript("Demo", "Reprint: A\r\nReprint: B\r\nReprint: C");
  Driver driver(*toolkit_);
  driver.Then([&] {
    Fl_Hold_Browser* list = W<Fl_Hold_Browser>("listPortActions");
    ASSERT_EQ(list->size(), 3);
    EXPECT_FALSE(W<Fl_Input>("txtPortName")->active());
    list->value(3);
    list->do_callback();
    Press("btnMoveActionUp");
    EXPECT_STREQ(list->text(2), "Reprint: C");
    EXPECT_EQ(list->value(), 2);  // the moved row stays selected
    Press("btnMoveActionDown");
    Press("btnDeleteAction");
    EXPECT_EQ(list->size(), 2);
    EXPECT_EQ(list->value(), 0);
    list->value(1);
    list->do_callback();
    Press("btnMoveActionDown");
  });
  driver.Then([&] { Key(TopWindow(), FL_Enter); });
  driver.Start();
  MarrowjetUI::Bstr port(WSTR("Demo"));
  NewController()->ConfigurePort(port.Get(), 0, nullptr);
  EXPECT_TRUE(driver.Finished());
  EXPECT_EQ(StoredScript("Demo"), "Reprint: B\r\nReprint: A");
}

TEST_F(FltkDialogTest, AddingAnActionGoesThroughTheKindAndPrinterDialogs) {
  ASSERT_EQ(qv::AddPrinter("Office", "FILE:", "Generic"), 0u);
  Driver driver(*toolkit_);
  std::string focus;
  driver.Then([&] {
    W<Fl_Input>("txtPortName")->value("Front desk");
    W<Fl_Input>("txtPortName")->do_callback();
  });
  driver.Then([&] { Press("btnAddAction"); });  // blocks in the kind dialog
  driver.When(Showing("Action Selection"), [&] {
    EXPECT_EQ(TopTitle(), "Action Selection");
    Fl_Choice* kinds = W<Fl_Choice>("cmbActions");
    ASSERT_EQ(kinds->size(), 3);  // two entries and the end mark
    EXPECT_STREQ(kinds->text(0), "Printer");
    EXPECT_EQ(kinds->value(), 0);
    EXPECT_STREQ(W<Fl_Widget>("Label1")->label(), "Select Destination Type:");
    Key(TopWindow(), FL_Enter);  // Enter at once: "Printer"
  });
  driver.When(Showing("Printer Selection"), [&] {
    EXPECT_EQ(TopTitle(), "Printer Selection");
    Fl_Input_Choice* printer = W<Fl_Input_Choice>("cmbPrinter");
    EXPECT_STREQ(printer->value(), "Office");
    printer->value("Lab & Co");
    printer->do_callback();
    Press("OKButton");
  });
  driver.When(Showing("Add New Port"), [&] {
    EXPECT_EQ(TopTitle(), "Add New Port");
    EXPECT_STREQ(W<Fl_Hold_Browser>("listPortActions")->text(1), "Reprint: Lab & Co");
    EXPECT_EQ(FocusedWidget(), W<Fl_Widget>("OKButton"));
    Press("OKButton");
  });
  driver.Start();
  NewController()->AddPort(0, nullptr);
  EXPECT_TRUE(driver.Finished());
  EXPECT_EQ(StoredScript("Front desk"), "Reprint: Lab & Co");
}

TEST_F(FltkDialogTest, ARefusalShowsTheStopBoxOverTheDialog) {
  Driver driver(*toolkit_);
  driver.Then([&] { Key(TopWindow(), FL_Enter); });  // blocks while the box is open
  driver.When(BoxShowing(), [&] {
    Fl_Window* box = toolkit_->OpenMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_STREQ(box->label(), "Error");
    Fl_Window* dialog = TopWindow();
    EXPECT_TRUE(box->modal());
    EXPECT_GE(box->x(), dialog->x() - box->w());
    EXPECT_LE(box->x(), dialog->x() + dialog->w());
    bool saidIt = false;
    for (int i = 0; i < box->children(); ++i)
      if (box->child(i)->label() && std::string(box->child(i)->label()) == "You must specify a port name") saidIt = true;
    EXPECT_TRUE(saidIt);
    Key(box, FL_Enter);
  });
  driver.When(Showing("Add New Port"), [&] {
    EXPECT_EQ(toolkit_->OpenMessageBox(), nullptr);
    EXPECT_EQ(TopTitle(), "Add New Port");  // still open
    Press("CancelButton");
  });
  driver.Start();
  NewController()->AddPort(0, nullptr);
  EXPECT_TRUE(driver.Finished());
}

TEST_F(FltkDialogTest, TheFieldsMenuOpensAtTheInsertButtonAndInsertsTheCode) {
  Driver driver(*toolkit_);
  int menuX = -1, menuY = -1, buttonX = 0, buttonY = 0;
  driver.Then([&] {
    EXPECT_EQ(TopTitle(), "File Path");
    EXPECT_STREQ(W<Fl_Button>("btn_InsertField")->label(), "&Insert Field");
    Fl_Button* insert = W<Fl_Button>("btn_InsertField");
    buttonX = TopWindow()->x() + insert->x();
    buttonY = TopWindow()->y() + insert->y();
    Press("btn_InsertField");  // blocks in the menu
  });
  driver.When(MenuShowing(), [&] {
    Fl_Window* menu = Fl::grab();
    ASSERT_NE(menu, nullptr);
    menuX = menu->x();
    menuY = menu->y();
    for (int i = 0; i < 6; ++i) Key(menu, FL_Down);  // the sixth item: Document Name
    Key(menu, FL_Enter);
  });
  driver.When(Showing("File Path"), [&] {
    Fl_Input* path = W<Fl_Input>("txtPath");
    EXPECT_STREQ(path->value(), "C:\\Jobs\\?DN?");
    EXPECT_EQ(path->position(), 12);
    EXPECT_EQ(FocusedWidget(), path);
    Key(TopWindow(), FL_Enter);
  });
  driver.Start();
  void* object = nullptr;
  ASSERT_EQ(MarrowjetUI::ControllerFilePath::CreateInstance(IID__ControllerFilePath, &object), S_OK);
  auto* controller = static_cast<_ControllerFilePath*>(object);
  MarrowjetUI::Bstr given(WSTR("C:\\Jobs\\"));
  BSTR argument = given.Get();
  MarrowjetUI::Bstr answer;
  controller->Show(&argument, answer.Out());
  controller->Release();
  EXPECT_TRUE(driver.Finished());
  EXPECT_EQ(qv::ToUtf8(answer.ToText()), "C:\\Jobs\\?DN?");
  EXPECT_EQ(menuX, buttonX);
  EXPECT_EQ(menuY, buttonY);
}

TEST_F(FltkDialogTest, TheAboutBoxClosesWithEnterAndWithEscape) {
  for (int key : {FL_Enter, FL_Escape}) {
    Driver driver(*toolkit_);
    driver.Then([&] {
      EXPECT_EQ(TopTitle(), "About Quorvane");
      EXPECT_STREQ(W<Fl_Widget>("lblVersion")->label(), "Version 2.0");
      EXPECT_STREQ(W<Fl_Button>("cmdSysInfo")->label(), "&System Info...");
      Key(TopWindow(), key);
    });
    driver.Start();
    NewController()->About();
    EXPECT_TRUE(driver.Finished());
  }
}

}  // namespace
}  // namespace configui_testing

// The leak checker of the sanitizer build: the font and X libraries under FLTK keep caches for
// the life of the process, which the checker would report as leaks of this test.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libX11.so\nleak:libXft.so\nleak:libfltk.so\nleak:libXrender.so\n";
}

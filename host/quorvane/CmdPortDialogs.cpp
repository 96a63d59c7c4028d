#include "Command.h"
#include "PortDialogs.h"
#include "RegistryData.h"
#include "RegistryKey.h"
#include "StatusText.h"
#include "StderrSink.h"

#include <FieldCodes.h>
#include <MonitorKey.h>
#include <qv/scripted_user.h>
#include <qv/utf.h>
#include <winspool.h>
#include <winuser.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace qv::cli {
namespace {

using qv::ui::Step;

using MarrowjetUI::kMonitorKey;
constexpr char16_t kMonitorName[] = u"Quorvane";
constexpr const char* kPortDialog = "Add New Port";
constexpr const char* kActionDialog = "Action Selection";
constexpr const char* kPrinterDialog = "Printer Selection";
constexpr const char* kFilePathDialog = "File Path";

struct Edit {
  enum class Kind { WriteFile, Reprint, Clear, Delete, MoveUp, MoveDown };
  Kind kind;
  std::string text;  // template or printer
  long row = 0;      // 1-based
  std::string option;
};

struct Request {
  bool add = false;
  std::optional<std::string> name;
  std::vector<Edit> edits;
};

long RowNumber(const std::string& option, const std::string& value) {
  char* end = nullptr;
  const long row = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || row < 1) throw UsageError(option + " needs an action number from 1 up, not \"" + value + "\"");
  return row;
}

Request Parse(const std::vector<std::string>& args) {
  Request request;
  request.add = args[0] == "add";
  for (size_t i = 1; i < args.size(); ++i) {
    std::string option = args[i];
    std::optional<std::string> value;
    if (option.rfind("--", 0) == 0) {
      if (const size_t equals = option.find('='); equals != std::string::npos) {
        value = option.substr(equals + 1);
        option.resize(equals);
      }
    } else {
      if (request.name) throw UsageError("one port name only (\"" + *request.name + "\", then \"" + option + "\")");
      request.name = option;
      continue;
    }
    auto takeValue = [&]() {
      if (value) return *value;
      if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
      return args[++i];
    };
    if (option == "--write-file") {
      request.edits.push_back({Edit::Kind::WriteFile, takeValue(), 0, option});
    } else if (option == "--reprint") {
      request.edits.push_back({Edit::Kind::Reprint, takeValue(), 0, option});
    } else if (!request.add && option == "--clear" && !value) {
      request.edits.push_back({Edit::Kind::Clear, {}, 0, option});
    } else if (!request.add && (option == "--delete" || option == "--move-up" || option == "--move-down")) {
      const Edit::Kind kind = option == "--delete" ? Edit::Kind::Delete
                              : option == "--move-up" ? Edit::Kind::MoveUp
                                                      : Edit::Kind::MoveDown;
      const std::string number = takeValue();
      request.edits.push_back({kind, {}, RowNumber(option, number), option});
    } else {
      throw UsageError("unknown option \"" + args[i] + "\" for port " + args[0]);
    }
  }
  if (!request.add && !request.name) throw UsageError("port configure needs a port name");
  if (request.add && !request.edits.empty() && !request.name) throw UsageError("port add needs a port name");
  return request;
}

// The actions of a stored port, one line each; nullopt when there is no such port.
std::optional<std::vector<std::string>> StoredActions(const std::string& name) {
  RegistryKey port;
  const LSTATUS status = port.Open(HKEY_LOCAL_MACHINE, std::u16string(kMonitorKey) + u"\\" + qv::ToUtf16(name));
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (status) FailWithStatus("port \"" + name + "\"", status);
  std::vector<std::string> lines;
  RegistryValue script;
  if (port.Query(u"Script", script) != ERROR_SUCCESS || script.type != REG_SZ) return lines;
  std::u16string text = TextOfStored(script.data);
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  for (size_t start = 0; !text.empty();) {
    const size_t end = text.find(u"\r\n", start);
    lines.push_back(qv::ToUtf8(std::u16string_view(text).substr(start, end - start)));
    if (end == std::u16string::npos) break;
    start = end + 2;
  }
  return lines;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> PrinterNames() {
  DWORD needed = 0;
  DWORD returned = 0;
  std::vector<BYTE> buffer;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
  buffer.resize(needed);
  std::vector<std::string> names;
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &returned)) return names;
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < returned; ++i)
    if (printers[i].pPrinterName) names.push_back(qv::ToUtf8(printers[i].pPrinterName));
  return names;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Warns of "?xx?" groups that are not field codes (codes are matched with letter case);
// true when the text holds a real code.
bool CheckFieldCodes(const std::string& text) {
  bool any = false;
  for (size_t i = 0; i + 3 < text.size(); ++i) {
    if (text[i] != '?' || text[i + 3] != '?' || !IsLetter(text[i + 1]) || !IsLetter(text[i + 2])) continue;
    const std::string code = text.substr(i, 4);
    const bool known = std::any_of(std::begin(kFieldCodes), std::end(kFieldCodes), [&](const FieldCode& field) {
      // Compared piece by piece: g++ 12 at -O3 gives a false -Wrestrict for "?" + std::string.
      const std::string name = qv::ToUtf8(field.name);
      return code.size() == name.size() + 2 && code.front() == '?' && code.back() == '?' &&
             code.compare(1, name.size(), name) == 0;
    });
    if (known) {
      any = true;
      i += 3;
    } else {
      std::fprintf(stderr, "quorvane: warning: \"%s\" in \"%s\" is not a field code and is written as it stands "
                   "(\"quorvane port --help\" lists the codes)\n", code.c_str(), text.c_str());
    }
  }
  return any;
}

void WarnAbout(const std::vector<Edit>& edits) {
  std::optional<std::vector<std::string>> printers;
  for (const Edit& edit : edits) {
    if (edit.kind != Edit::Kind::WriteFile && edit.kind != Edit::Kind::Reprint) continue;
    const bool hasCodes = CheckFieldCodes(edit.text);
    if (edit.kind != Edit::Kind::Reprint || hasCodes) continue;
    if (!printers) printers = PrinterNames();
    const bool known = std::any_of(printers->begin(), printers->end(),
                                   [&](const std::string& printer) { return Upper(printer) == Upper(edit.text); });
    if (!known)
      std::fprintf(stderr, "quorvane: warning: there is no printer \"%s\"; jobs reprinted to it will not print\n",
                   edit.text.c_str());
  }
}

void Append(std::vector<Step>& steps, std::vector<Step> more) {
  for (Step& step : more) steps.push_back(std::move(step));
}

// The clicks a person makes for each edit, checked against the number of actions as it goes.
std::vector<Step> StepsFor(const Request& request, long actions) {
  std::vector<Step> steps;
  if (request.add) steps.push_back(Step::Type("txtPortName", *request.name, kPortDialog));
  auto checkRow = [&](const Edit& edit) {
    if (edit.row > actions)
      throw Failure(edit.option + " " + std::to_string(edit.row) + ": the port has " + std::to_string(actions) +
                    (actions == 1 ? " action" : " actions") + " at that point");
  };
  for (const Edit& edit : request.edits) {
    switch (edit.kind) {
      case Edit::Kind::WriteFile:
        Append(steps, {Step::Click("btnAddAction", kPortDialog), Step::SelectItem("cmbActions", "Write File", kActionDialog),
                       Step::Click("OKButton", kActionDialog), Step::Type("txtPath", edit.text, kFilePathDialog),
                       Step::Click("btn_OK", kFilePathDialog)});
        ++actions;
        break;
      case Edit::Kind::Reprint:
        Append(steps, {Step::Click("btnAddAction", kPortDialog), Step::SelectItem("cmbActions", "Printer", kActionDialog),
                       Step::Click("OKButton", kActionDialog), Step::Type("cmbPrinter", edit.text, kPrinterDialog),
                       Step::Click("OKButton", kPrinterDialog)});
        ++actions;
        break;
      case Edit::Kind::Clear:
        for (; actions > 0; --actions)
          Append(steps, {Step::Select("listPortActions", 0, kPortDialog), Step::Click("btnDeleteAction", kPortDialog)});
        break;
      case Edit::Kind::Delete:
        checkRow(edit);
        Append(steps, {Step::Select("listPortActions", edit.row - 1, kPortDialog),
                       Step::Click("btnDeleteAction", kPortDialog)});
        --actions;
        break;
      case Edit::Kind::MoveUp:
      case Edit::Kind::MoveDown: {
        checkRow(edit);
        const bool up = edit.kind == Edit::Kind::MoveUp;
        if (up ? edit.row == 1 : edit.row == actions)
          std::fprintf(stderr, "quorvane: warning: %s %ld: action %ld is already %s\n", edit.option.c_str(), edit.row,
                       edit.row, up ? "first" : "last");
        Append(steps, {Step::Select("listPortActions", edit.row - 1, kPortDialog),
                       Step::Click(up ? "btnMoveActionUp" : "btnMoveActionDown", kPortDialog)});
        break;
      }
    }
  }
  steps.push_back(Step::Click("OKButton", kPortDialog));
  return steps;
}

// While a port is added, the dialog's duplicate check opens the new port's key, which is not
// there: the job processor logs that as a failed open, but it is the answer hoped for, so it
// is not told on stderr. Every other failure is.
class PortDialogSink final : public DiagnosticsSink {
 public:
  explicit PortDialogSink(bool adding) : adding_(adding) {
    // The failed open's description ends in the key's path in brackets. Appended piece by
    // piece: g++ 12 at -O3 gives a false -Wrestrict for " [" + std::string.
    portKeys_ = " [";
    portKeys_ += qv::ToUtf8(kMonitorKey);
    portKeys_ += '\\';
    SetDiagnosticsSink(this);
  }
  ~PortDialogSink() override { SetDiagnosticsSink(nullptr); }  // the command ends right after
  PortDialogSink(const PortDialogSink&) = delete;
  PortDialogSink& operator=(const PortDialogSink&) = delete;

  void Deliver(const qv::Failure& failure) noexcept override {
    try {
      if (adding_ && failure.source == "RegKey::OpenKey" && failure.number == ERROR_FILE_NOT_FOUND &&
          failure.description.find(portKeys_) != std::string::npos)
        return;
      const std::string line = "quorvane: " + FailureLine(failure) + "\n";
      std::fwrite(line.data(), 1, line.size(), stderr);
      std::fflush(stderr);
    } catch (...) {
    }
  }

 private:
  bool adding_;
  std::string portKeys_;  // " [" and the monitor key's path with its separator
};

// Runs the print system's port call with `toolkit` answering the dialogs.
void CallPortDialog(const Request& request, std::shared_ptr<qv::ui::Toolkit> toolkit) {
  PortDialogSink sink(request.add);
  struct Restore {
    std::shared_ptr<qv::ui::Toolkit> previous;
    ~Restore() { qv::ui::UseToolkit(previous); }
  } restore{qv::ui::UseToolkit(std::move(toolkit))};
  std::u16string monitor = kMonitorName;
  std::u16string port = qv::ToUtf16(request.name.value_or(""));
  const BOOL done = request.add ? AddPortW(nullptr, nullptr, monitor.data()) : ConfigurePortW(nullptr, nullptr, port.data());
  if (done) return;
  const DWORD status = GetLastError();
  if (status == ERROR_UNKNOWN_PORT) throw Failure("no port named \"" + *request.name + "\"" + InPrefix());
  if (status == ERROR_UNKNOWN_PRINT_MONITOR || status == ERROR_FILE_NOT_FOUND)
    throw Failure("the Quorvane monitor is not installed (run \"quorvane install\" first)");
  FailWithStatus(request.add ? "adding a port" : "port \"" + *request.name + "\"", status);
}

int Scripted(const Request& request) {
  long actions = 0;
  std::optional<std::vector<std::string>> before;
  if (!request.add) {
    before = StoredActions(*request.name);
    if (!before) throw Failure("no port named \"" + *request.name + "\"" + InPrefix());
    actions = static_cast<long>(before->size());
  }
  std::vector<Step> steps = StepsFor(request, actions);
  auto user = std::make_shared<qv::ui::ScriptedUser>(std::move(steps));
  user->StopAtErrorBox(true);
  CallPortDialog(request, user);
  int status = 0;
  for (const qv::ui::RecordedBox& box : user->Boxes()) {
    std::fprintf(stderr, "quorvane: %s\n", box.text.c_str());
    if ((box.type & 0xF0) == MB_ICONSTOP) status = 1;
  }
  if (status) return status;
  for (const std::string& problem : user->Problems()) {
    std::fprintf(stderr, "quorvane: %s\n", problem.c_str());
    status = 1;
  }
  if (status) return status;
  // The dialog logs a failed store and closes as if it had stored: look.
  const std::optional<std::vector<std::string>> after = StoredActions(*request.name);
  if (!after || (after->empty() && !request.edits.empty())) {
    FailIfStoreIsReadOnly("port \"" + *request.name + "\" not stored");
    throw Failure("the port \"" + *request.name + "\" was not stored (the log file says why)");
  }
  // Stored as given; what will not work as meant is pointed out.
  WarnAbout(request.edits);
  return 0;
}

// Types the port's name into a new port dialog before the person sees it.
class NamePrefill final : public qv::ui::Toolkit {
 public:
  NamePrefill(std::shared_ptr<qv::ui::Toolkit> inner, std::string name) : inner_(std::move(inner)), name_(std::move(name)) {}
  bool RunModal(QvForms::Form& form, std::string& problem) override {
    if (!done_ && qv::ToUtf8(form.Title()) == kPortDialog) {
      done_ = true;
      QvForms::Control* box = form.Find(u"txtPortName");
      if (box && box->Enabled && box->Text().empty()) box->SetText(qv::ToUtf16(name_));
    }
    const bool shown = inner_->RunModal(form, problem);
    if (!shown) failed_ = true;
    return shown;
  }
  void ShowPopupMenu(QvForms::Form& form, QvForms::PopupMenu& menu, int x, int y) override {
    inner_->ShowPopupMenu(form, menu, x, y);
  }
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
    return inner_->MessageBox(owner, text, caption, type);
  }
  void FormDestroyed(QvForms::Form& form) override { inner_->FormDestroyed(form); }
  bool Failed() const { return failed_; }

 private:
  std::shared_ptr<qv::ui::Toolkit> inner_;
  std::string name_;
  bool done_ = false;
  bool failed_ = false;
};

constexpr const char kNoDisplay[] =
    "there is no display to show the port dialog on; give the port's actions as options, for example\n"
    "  quorvane port add Demo --write-file 'C:\\Jobs\\?DN?.prn' --reprint Office\n"
    "  quorvane port configure Demo --move-down 1\n"
    "(\"quorvane port --help\" lists every option)";

int Interactive(const Request& request) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    std::fprintf(stderr, "quorvane: %s\n", kNoDisplay);
    return 2;
  }
  if (!request.add && !StoredActions(*request.name)) throw Failure("no port named \"" + *request.name + "\"" + InPrefix());
  auto toolkit = std::make_shared<NamePrefill>(qv::ui::NewFltkToolkit(), request.name.value_or(""));
  CallPortDialog(request, toolkit);
  if (toolkit->Failed()) {
    std::fprintf(stderr, "quorvane: %s\n", kNoDisplay);
    return 2;
  }
  return 0;
}

}  // namespace

int RunPortDialog(const std::vector<std::string>& args) {
  const Request request = Parse(args);
  return request.edits.empty() ? Interactive(request) : Scripted(request);
}

std::string PortDialogUsage() {
  std::string usage =
      "       quorvane port add [NAME] [--write-file TEMPLATE | --reprint PRINTER]...\n"
      "                                    add a port with actions in the order given\n"
      "       quorvane port configure NAME [--clear] [--write-file TEMPLATE] [--reprint PRINTER]\n"
      "                                    [--delete N] [--move-up N] [--move-down N]...\n"
      "                                    change a port's actions, one option after the other;\n"
      "                                    N counts the actions from 1 as \"port show\" lists them\n"
      "\n"
      "Without actions the port dialog opens on the display (port add without a name opens it\n"
      "empty). The options play the same dialog, with the same checks.\n"
      "\n"
      "--write-file saves each job as a file named by TEMPLATE, a Windows path in which these\n"
      "field codes stand for the job's properties (letter case counts):\n";
  for (const FieldCode& field : kFieldCodes) {
    std::string caption = qv::ToUtf8(field.caption);
    caption.resize(caption.rfind(" ("));
    usage += "  ?" + qv::ToUtf8(field.name) + "?  " + caption + "\n";
  }
  usage +=
      "--reprint sends each job's data unchanged to PRINTER (its name may hold field codes too).\n"
      "\n"
      "Example:\n"
      "  quorvane port add Demo --write-file 'C:\\Jobs\\?UN?\\?YE?-?MO?-?DA?\\?DN?.prn' --reprint Office";
  return usage;
}

}  // namespace qv::cli

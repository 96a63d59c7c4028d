// dialog_pictures FOLDER: shows each of the five dialogs with sample contents under the current
// display and saves a PNG of each in FOLDER (ImageMagick's import). scripts/screenshots runs it
// under Xvfb.
#include <qv/utf.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "ControllerActionSelect.h"
#include "ControllerPrinterSelect.h"
#include "FltkToolkit.h"
#include "dlgAbout.h"
#include "dlgActionSelect.h"
#include "dlgConfigurePort.h"
#include "dlgFilePath.h"
#include "dlgPrinterSelect.h"

// FLTK last: its X11 headers define None, Status and Bool as macros.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace {

struct Picture {
  qv::ui::fltk::FltkToolkit* toolkit;
  std::string file;
  bool saved = false;
};

void Snap(void* data) {
  auto* picture = static_cast<Picture*>(data);
  QvForms::Form& form = *picture->toolkit->ShownForms().back();
  Fl_Window* window = picture->toolkit->WindowOf(form);
  Fl::flush();
  const std::string command =
      "import -window " + std::to_string(static_cast<unsigned long>(fl_xid(window))) + " '" + picture->file + "'";
  picture->saved = std::system(command.c_str()) == 0;
  form.Hide();
}

bool Show(qv::ui::fltk::FltkToolkit& toolkit, const std::string& file, const std::function<void()>& show) {
  Picture picture{&toolkit, file};
  Fl::add_timeout(0.5, Snap, &picture);
  show();
  if (!picture.saved) std::fprintf(stderr, "dialog_pictures: %s was not saved\n", file.c_str());
  else std::printf("%s\n", file.c_str());
  return picture.saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dialog_pictures FOLDER\n");
    return 2;
  }
  if (!qv::ui::fltk::OpenDisplay()) {
    std::fprintf(stderr, "dialog_pictures: no display can be opened\n");
    return 1;
  }
  const std::string folder = argv[1];
  auto toolkit = std::make_shared<qv::ui::fltk::FltkToolkit>();
  qv::ui::UseToolkit(toolkit);
  using namespace MarrowjetUI;
  bool all = true;
  all &= Show(*toolkit, folder + "/port-dialog.png", [] {
    dlgConfigurePort dialog;
    dialog.txtPortName.SetText(WSTR("Demo"));
    dialog.listPortActions.AddItem(WSTR("WriteFile: C:\\Jobs\\?UN?\\?YE?-?MO?-?DA?\\?DN?-?SN?.prn"));
    dialog.listPortActions.AddItem(WSTR("Reprint: Office Laser"));
    dialog.listPortActions.SetListIndex(1);
    dialog.ShowModal(nullptr);
  });
  all &= Show(*toolkit, folder + "/action-selection.png", [] {
    dlgActionSelect dialog;
    dialog.cmbActions.AddItem(WSTR("Printer"));
    dialog.cmbActions.AddItem(WSTR("Write File"));
    dialog.cmbActions.SetListIndex(0);
    ControllerActionSelect controller;
    dialog.ShowModal(controller);
  });
  all &= Show(*toolkit, folder + "/printer-selection.png", [] {
    dlgPrinterSelect dialog;
    dialog.cmbPrinter.AddItem(WSTR("Office Laser"));
    dialog.cmbPrinter.AddItem(WSTR("Lab"));
    dialog.cmbPrinter.SetListIndex(0);
    ControllerPrinterSelect controller;
    dialog.ShowModal(controller);
  });
  all &= Show(*toolkit, folder + "/file-path.png", [] {
    dlgFilePath dialog;
    dialog.txtPath.SetText(WSTR("C:\\Jobs\\?UN?\\?DN?.prn"));
    dialog.ShowModal(nullptr);
  });
  all &= Show(*toolkit, folder + "/about.png", [] {
    dlgAbout dialog;
    dialog.ShowModal();
  });
  return all ? 0 : 1;
}

// The plugin's one export: a new FLTK toolkit, or null when no display can be opened.
#include <qv/toolkit.h>

#include "FltkToolkit.h"

extern "C" __attribute__((visibility("default"))) qv::ui::Toolkit* QvCreateFltkToolkit() {
  try {
    if (!qv::ui::fltk::OpenDisplay()) return nullptr;
    return new qv::ui::fltk::FltkToolkit();
  } catch (...) {
    return nullptr;
  }
}

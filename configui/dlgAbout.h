// The about box: the product's name and version, and a button that starts the system
// information program. It has no controller: its two buttons are its own.
#pragma once
#include <QvForms.h>

#include "Text.h"

namespace MarrowjetUI {

class dlgAbout {
 public:
  dlgAbout();
  dlgAbout(const dlgAbout&) = delete;
  dlgAbout& operator=(const dlgAbout&) = delete;

  // Shows the box modally, without an owner, until OK closes it. Raises the platform's error
  // when it can't be shown.
  void ShowModal();

  // Starts the system information program named in the registry, or says it is unavailable.
  static void StartSysInfo() noexcept;
  // Reads the text value `SubKeyRef` of `KeyName` under `KeyRoot` into `KeyVal`; True when read.
  static bool GetKeyValue(HKEY KeyRoot, TextView KeyName, TextView SubKeyRef, Text& KeyVal) noexcept;

  QvForms::Form form;
  QvForms::Control& lblTitle;
  QvForms::Control& lblVersion;
  QvForms::Control& lblDescription;
  QvForms::Control& Label1;
  QvForms::Control& lblDisclaimer;
  QvForms::Control& Line1;
  QvForms::Control& cmdOK;
  QvForms::Control& cmdSysInfo;
};

}  // namespace MarrowjetUI

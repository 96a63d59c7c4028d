#include "ThreadDialogs.h"

#include <memory>

namespace MarrowjetUI::ThreadDialogs {
namespace {

struct Dialogs {
  std::unique_ptr<dlgActionSelect> actionSelect;
  std::unique_ptr<dlgPrinterSelect> printerSelect;
  std::unique_ptr<dlgFilePath> filePath;
};

thread_local Dialogs t_dialogs;

template <class Dialog>
Dialog& Made(std::unique_ptr<Dialog>& slot) {
  if (!slot) slot = std::make_unique<Dialog>();
  return *slot;
}

}  // namespace

dlgActionSelect& ActionSelect() { return Made(t_dialogs.actionSelect); }
dlgPrinterSelect& PrinterSelect() { return Made(t_dialogs.printerSelect); }
dlgFilePath& FilePath() { return Made(t_dialogs.filePath); }

void Release() noexcept {
  t_dialogs.actionSelect.reset();
  t_dialogs.printerSelect.reset();
  t_dialogs.filePath.reset();
}

}  // namespace MarrowjetUI::ThreadDialogs

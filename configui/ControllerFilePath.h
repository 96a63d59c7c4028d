// The file path template dialog's controller, a creatable class of the job processor: Show
// edits a template and answers the edited text, or the one it was given when cancelled.
#pragma once
#include <MarrowjetInterfaces.h>

#include "DispatchObject.h"
#include "Text.h"

namespace MarrowjetUI {

class ControllerFilePath final
    : public DispatchObject<ControllerFilePath, _ControllerFilePath, IID__ControllerFilePath> {
 public:
  HRESULT STDMETHODCALLTYPE OnOk() override;
  HRESULT STDMETHODCALLTYPE OnCancel() override;
  HRESULT STDMETHODCALLTYPE OnPopUp() override;
  HRESULT STDMETHODCALLTYPE Show(BSTR* defaultPath, BSTR* result) override;
  HRESULT STDMETHODCALLTYPE InsertText(BSTR* fieldCode) override;

 private:
  Text path_;
};

}  // namespace MarrowjetUI

// The class objects of the job processor's creatable classes.
#pragma once
#include <windows.h>

namespace MarrowjetUI {

using CreateFunction = HRESULT (*)(REFIID riid, void** ppvObject) noexcept;

// One per class, living as long as the library. Its references keep the library loaded.
class ClassFactory final : public IClassFactory {
 public:
  explicit constexpr ClassFactory(CreateFunction create) : create_(create) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

 private:
  CreateFunction create_;
};

}  // namespace MarrowjetUI

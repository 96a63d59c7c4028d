// The monitor library's type library as registration finds it: read from the library's own
// file, or from the ".tlb" file beside it when the library's record can't be read.
#pragma once
#include <windows.h>

#include "win/ComPtr.h"

#include <string>
#include "win/WideString.h"

namespace Quorvane {

class OwnTypeLibrary {
 public:
  // S_OK, or the failure of the last attempt.
  HRESULT Load();
  // Registers the loaded type library under the path that loaded it, with that path's folder
  // as the help folder.
  HRESULT Register() const;
  // Removes the registration through "UnRegisterTypeLib" of "oleaut32.dll", looked up when
  // called; when either can't be found the type library stays registered.
  void Unregister() const;

  // The ".tlb" file beside `path`: its extension replaced, or ".tlb" appended without one.
  static win::WideString TypeLibraryFileBeside(const win::WideString& path);
  // `path` cut just after its last "\", "/" or ":"; empty without one.
  static win::WideString FolderOf(const win::WideString& path);

 private:
  win::ComPtr<ITypeLib> library_;
  win::WideString path_;
};

}  // namespace Quorvane

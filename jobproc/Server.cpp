// The in-process server's exports: class objects, self-registration and the unload check.
#include <MarrowjetInterfaces.h>
#include <olectl.h>
#include <qv/comreg.h>

#include "ClassFactory.h"
#include "Controller.h"
#include "ControllerFilePath.h"
#include "Job.h"
#include "RawPrint.h"
#include "ServerLock.h"

#include <qv/macros.h>

using namespace MarrowjetUI;

namespace {

ClassFactory g_jobFactory(&Job::CreateInstance);
ClassFactory g_controllerFactory(&Controller::CreateInstance);
ClassFactory g_rawPrintFactory(&RawPrint::CreateInstance);
ClassFactory g_filePathFactory(&ControllerFilePath::CreateInstance);

struct ClassEntry {
  const CLSID& clsid;
  const WCHAR* progId;
  const WCHAR* description;
};

const ClassEntry kClasses[] = {
    {CLSID_Job, PROGID_Job, WSTR("Job")},
    {CLSID_Controller, PROGID_Controller, WSTR("Controller")},
    {CLSID_RawPrint, PROGID_RawPrint, WSTR("RawPrint")},
    {CLSID_ControllerFilePath, PROGID_ControllerFilePath, WSTR("ControllerFilePath")},
};

// The library that holds this code, which the class entries name as the server.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

QV_EXPORT_C HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid == CLSID_Job) return g_jobFactory.QueryInterface(riid, ppv);
  if (rclsid == CLSID_Controller) return g_controllerFactory.QueryInterface(riid, ppv);
  if (rclsid == CLSID_RawPrint) return g_rawPrintFactory.QueryInterface(riid, ppv);
  if (rclsid == CLSID_ControllerFilePath) return g_filePathFactory.QueryInterface(riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

QV_EXPORT_C HRESULT STDAPICALLTYPE DllCanUnloadNow() { return ServerLock::InUse() ? S_FALSE : S_OK; }

QV_EXPORT_C HRESULT STDAPICALLTYPE DllRegisterServer() {
  const HMODULE module = ThisModule();
  if (!module) return SELFREG_E_CLASS;
  for (const ClassEntry& entry : kClasses) {
    const HRESULT result = RegisterInprocServerClass(entry.clsid, entry.progId, entry.description, module);
    if (FAILED(result)) return result;
  }
  return S_OK;
}

QV_EXPORT_C HRESULT STDAPICALLTYPE DllUnregisterServer() {
  HRESULT outcome = S_OK;
  for (const ClassEntry& entry : kClasses) {
    const HRESULT result = UnregisterInprocServerClass(entry.clsid, entry.progId);
    // A class that is not registered is already what was asked for.
    if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) continue;
    if (FAILED(result) && SUCCEEDED(outcome)) outcome = result;
  }
  return outcome;
}

#include "RecordingServer.h"

#include <MarrowjetInterfaces.h>
#include <qv/comreg.h>
#include <qv/utf.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <new>

namespace {

RecordingServerState state;

std::string Utf8(BSTR text) {
  if (!text) state.nullStrings = true;
  return text ? qv::ToUtf8(std::u16string(text, SysStringLen(text))) : std::string();
}

// IUnknown and IDispatch for both classes; `name` stands for the object in the record.
template <class Interface>
class Recorded : public Interface {
 public:
  explicit Recorded(const char* name) : name_(name) { ++state.liveObjects; }
  virtual ~Recorded() {
    --state.liveObjects;
    state.calls.push_back(std::string("~") + name_);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == InterfaceId()) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (references_ == 0) {
      ++state.overReleases;
      return 0;
    }
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return Record("GetTypeInfoCount"); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return Record("GetTypeInfo"); }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return Record("GetIDsOfNames");
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return Record("Invoke");
  }

 protected:
  static HRESULT Record(std::string call) {
    state.calls.push_back(std::move(call));
    return S_OK;
  }
  virtual const IID& InterfaceId() const = 0;

 private:
  const char* name_;
  ULONG references_ = 0;
};

class RecordingJob final : public Recorded<_Job> {
 public:
  RecordingJob() : Recorded("Job") {}
  static inline std::atomic<_Job*> lastCreated{nullptr};

  HRESULT STDMETHODCALLTYPE put_Size(LONG v) override { return Record("Size=" + std::to_string(v)); }
  HRESULT STDMETHODCALLTYPE get_Size(LONG*) override { return Record("get_Size"); }
  HRESULT STDMETHODCALLTYPE put_Priority(LONG v) override { return Record("Priority=" + std::to_string(v)); }
  HRESULT STDMETHODCALLTYPE get_Priority(LONG*) override { return Record("get_Priority"); }
  HRESULT STDMETHODCALLTYPE put_TotalPages(LONG v) override { return Record("TotalPages=" + std::to_string(v)); }
  HRESULT STDMETHODCALLTYPE get_TotalPages(LONG*) override { return Record("get_TotalPages"); }
  HRESULT STDMETHODCALLTYPE put_DriverName(BSTR v) override { return Record("DriverName=" + Utf8(v)); }
  HRESULT STDMETHODCALLTYPE get_DriverName(BSTR*) override { return Record("get_DriverName"); }
  HRESULT STDMETHODCALLTYPE put_DataType(BSTR v) override { return Record("DataType=" + Utf8(v)); }
  HRESULT STDMETHODCALLTYPE get_DataType(BSTR*) override { return Record("get_DataType"); }
  HRESULT STDMETHODCALLTYPE put_NotifyName(BSTR v) override { return Record("NotifyName=" + Utf8(v)); }
  HRESULT STDMETHODCALLTYPE get_NotifyName(BSTR*) override { return Record("get_NotifyName"); }
  HRESULT STDMETHODCALLTYPE put_DocumentName(BSTR v) override { return Record("DocumentName=" + Utf8(v)); }
  HRESULT STDMETHODCALLTYPE get_DocumentName(BSTR*) override { return Record("get_DocumentName"); }
  HRESULT STDMETHODCALLTYPE put_UserName(BSTR v) override { return Record("UserName=" + Utf8(v)); }
  HRESULT STDMETHODCALLTYPE get_UserName(BSTR*) override { return Record("get_UserName"); }
  HRESULT STDMETHODCALLTYPE put_MachineName(BSTR v) override { return Record("MachineName=" + Utf8(v)); }
  HRESULT STDMETHODCALLTYPE get_MachineName(BSTR*) override { return Record("get_MachineName"); }
  HRESULT STDMETHODCALLTYPE put_PrinterName(BSTR v) override { return Record("PrinterName=" + Utf8(v)); }
  HRESULT STDMETHODCALLTYPE GetSerialNumber(LONG*) override { return Record("GetSerialNumber"); }
  HRESULT STDMETHODCALLTYPE get_PrinterName(BSTR*) override { return Record("get_PrinterName"); }
  HRESULT STDMETHODCALLTYPE put_ID(LONG v) override { return Record("ID=" + std::to_string(v)); }
  HRESULT STDMETHODCALLTYPE get_ID(LONG*) override { return Record("get_ID"); }
  HRESULT STDMETHODCALLTYPE Convert(BSTR*, DATE*, BSTR*) override { return Record("Convert"); }

 private:
  const IID& InterfaceId() const override { return IID__Job; }
};

class RecordingController final : public Recorded<_Controller> {
 public:
  RecordingController() : Recorded("Controller") {}

  HRESULT STDMETHODCALLTYPE PrintFile(BSTR PortName, BSTR TempFilePath, _Job* JobInfo) override {
    Record("PrintFile");
    PrintFileCall call;
    call.portName = PortName ? std::u16string(PortName, SysStringLen(PortName)) : u"(null)";
    call.tempPath = TempFilePath ? std::u16string(TempFilePath, SysStringLen(TempFilePath)) : u"(null)";
    std::ifstream file(qv::ToUtf8(call.tempPath), std::ios::binary);
    call.fileExisted = file.is_open();
    call.fileBytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    call.jobWasTheOneSetUp = JobInfo && JobInfo == RecordingJob::lastCreated.load();
    state.printFiles.push_back(std::move(call));
    if (state.duringPrintFile) state.duringPrintFile();
    return state.printFileResult;
  }
  HRESULT STDMETHODCALLTYPE ConfigurePort(BSTR PortName, LONG hwnd, VARIANT_BOOL* result) override {
    Record("ConfigurePort " + Utf8(PortName) + " " + std::to_string(hwnd));
    if (result) *result = VARIANT_TRUE;
    return state.portCallResult;
  }
  HRESULT STDMETHODCALLTYPE AddPort(LONG hwnd, VARIANT_BOOL* result) override {
    Record("AddPort " + std::to_string(hwnd));
    if (result) *result = VARIANT_FALSE;  // as when the user cancels
    return state.portCallResult;
  }
  HRESULT STDMETHODCALLTYPE OnOk() override { return Record("OnOk"); }
  HRESULT STDMETHODCALLTYPE OnCancel() override { return Record("OnCancel"); }
  HRESULT STDMETHODCALLTYPE OnAdd() override { return Record("OnAdd"); }
  HRESULT STDMETHODCALLTYPE OnDelete() override { return Record("OnDelete"); }
  HRESULT STDMETHODCALLTYPE OnMoveUp() override { return Record("OnMoveUp"); }
  HRESULT STDMETHODCALLTYPE OnMoveDown() override { return Record("OnMoveDown"); }
  HRESULT STDMETHODCALLTYPE RefreshActionList() override { return Record("RefreshActionList"); }
  HRESULT STDMETHODCALLTYPE DeletePort(BSTR PortName) override {
    Record("DeletePort " + Utf8(PortName));
    return state.portCallResult;
  }
  HRESULT STDMETHODCALLTYPE About() override { return Record("About"); }

 private:
  const IID& InterfaceId() const override { return IID__Controller; }
};

template <class Object>
class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Object* created = new (std::nothrow) Object;
    if (!created) return E_OUTOFMEMORY;
    created->AddRef();
    HRESULT result = created->QueryInterface(riid, object);
    if constexpr (std::is_same_v<Object, RecordingJob>) RecordingJob::lastCreated = created;
    created->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory<RecordingJob> jobFactory;
Factory<RecordingController> controllerFactory;

}  // namespace

extern "C" RecordingServerState* RecordingServer(void) { return &state; }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid == CLSID_Job) return jobFactory.QueryInterface(riid, ppv);
  if (rclsid == CLSID_Controller) return controllerFactory.QueryInterface(riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow(void) { return state.liveObjects == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer(void) {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&DllRegisterServer), &self))
    return HRESULT_FROM_WIN32(GetLastError());
  HRESULT result = RegisterInprocServerClass(CLSID_Job, PROGID_Job, WSTR("Recording Job"), self);
  if (FAILED(result)) return result;
  return RegisterInprocServerClass(CLSID_Controller, PROGID_Controller, WSTR("Recording Controller"), self);
}

// The job processor as the monitor meets it: registered by its own DllRegisterServer, created
// by ProgID through the component runtime, bound to its interfaces' slots.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <qv/prefix.h>
#include <windows.h>

#include <MarrowjetInterfaces.h>

#include "TempPrefix.h"

namespace {

class Library {
 public:
  Library() : handle_(dlopen((qv::LibraryDir() + "/libmarrowjetui.so").c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (handle_) dlclose(handle_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  bool Loaded() const { return handle_ != nullptr; }
  template <typename Function>
  Function Get(const char* name) const {
    return reinterpret_cast<Function>(dlsym(handle_, name));
  }

 private:
  void* handle_;
};

class Apartment {
 public:
  Apartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~Apartment() { CoUninitialize(); }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
};

TEST(ServerTest, RegisteredClassesAreCreatedByProgId) {
  qv::testing::TempPrefix prefix;
  Library library;
  ASSERT_TRUE(library.Loaded()) << dlerror();
  ASSERT_EQ(library.Get<LPFNREGISTERSERVER>("DllRegisterServer")(), S_OK);

  const struct {
    const WCHAR* progId;
    const CLSID& clsid;
  } classes[] = {{PROGID_Job, CLSID_Job},
                 {PROGID_Controller, CLSID_Controller},
                 {PROGID_RawPrint, CLSID_RawPrint},
                 {PROGID_ControllerFilePath, CLSID_ControllerFilePath}};
  for (const auto& entry : classes) {
    CLSID found{};
    EXPECT_EQ(CLSIDFromProgID(entry.progId, &found), S_OK);
    EXPECT_TRUE(found == entry.clsid);
  }

  Apartment apartment;
  CLSID jobClass{};
  ASSERT_EQ(CLSIDFromProgID(PROGID_Job, &jobClass), S_OK);
  _Job* job = nullptr;
  ASSERT_EQ(CoCreateInstance(jobClass, nullptr, CLSCTX_INPROC_SERVER, IID__Job, reinterpret_cast<void**>(&job)), S_OK);
  EXPECT_EQ(job->put_ID(7), S_OK);
  LONG id = 0;
  EXPECT_EQ(job->get_ID(&id), S_OK);
  EXPECT_EQ(id, 7);
  void* other = nullptr;
  EXPECT_EQ(job->QueryInterface(IID__Controller, &other), E_NOINTERFACE);

  _Controller* controller = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_Controller, nullptr, CLSCTX_INPROC_SERVER, IID__Controller,
                             reinterpret_cast<void**>(&controller)),
            S_OK);
  EXPECT_EQ(library.Get<LPFNCANUNLOADNOW>("DllCanUnloadNow")(), S_FALSE);
  VARIANT_BOOL added = VARIANT_TRUE;
  EXPECT_EQ(controller->AddPort(0, &added), S_OK);
  EXPECT_EQ(added, VARIANT_FALSE);
  controller->Release();
  job->Release();
  EXPECT_EQ(library.Get<LPFNCANUNLOADNOW>("DllCanUnloadNow")(), S_OK);

  _RawPrint* raw = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_RawPrint, nullptr, CLSCTX_INPROC_SERVER, IID__RawPrint, reinterpret_cast<void**>(&raw)),
            S_OK);
  LONG error = -1;
  EXPECT_EQ(raw->GetError(&error), S_OK);
  EXPECT_EQ(error, 0);
  raw->Release();

  // The file path dialog's controller is creatable by its ProgID and bound by its slots.
  CLSID filePathClass{};
  ASSERT_EQ(CLSIDFromProgID(PROGID_ControllerFilePath, &filePathClass), S_OK);
  _ControllerFilePath* filePath = nullptr;
  ASSERT_EQ(CoCreateInstance(filePathClass, nullptr, CLSCTX_INPROC_SERVER, IID__ControllerFilePath,
                             reinterpret_cast<void**>(&filePath)),
            S_OK);
  filePath->Release();

  ASSERT_EQ(library.Get<LPFNREGISTERSERVER>("DllUnregisterServer")(), S_OK);
  CLSID gone{};
  EXPECT_NE(CLSIDFromProgID(PROGID_Job, &gone), S_OK);
}

}  // namespace

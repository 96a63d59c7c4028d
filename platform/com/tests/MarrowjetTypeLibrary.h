// The type library the test library carries, and checks of a loaded one against it.
#pragma once
#include <oleauto.h>
#include <qv/typelib_record.h>

#include <gtest/gtest.h>

#include <string>

namespace qv::testing {

inline constexpr GUID kMarrowjetLibId = {
    0x1D47C6CD, 0x6B66, 0x4C3B, {0x81, 0xFA, 0xCB, 0xE4, 0x3B, 0x4A, 0x3D, 0xAA}};

inline TYPELIBRECORD MarrowjetRecord() {
  return {sizeof(TYPELIBRECORD), kMarrowjetLibId, 0x409, SYS_WIN32, 1, 0, 0,
          WSTR("MARROWJETLib"), WSTR("Marrowjet 1.0 Type Library")};
}

// Releases a type library when the test ends, however it ends.
class HeldTypeLib {
 public:
  HeldTypeLib() = default;
  ~HeldTypeLib() {
    if (library_) library_->Release();
  }
  HeldTypeLib(const HeldTypeLib&) = delete;
  HeldTypeLib& operator=(const HeldTypeLib&) = delete;
  ITypeLib** Receive() { return &library_; }
  ITypeLib* Get() const { return library_; }

 private:
  ITypeLib* library_ = nullptr;
};

struct LibraryText {
  std::u16string name;
  std::u16string helpString;
};

inline LibraryText TextOf(ITypeLib* library) {
  BSTR name = nullptr, help = nullptr;
  LibraryText text;
  EXPECT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
  if (name) text.name = name;
  if (help) text.helpString = help;
  SysFreeString(name);
  SysFreeString(help);
  return text;
}

// The attributes and texts of `library` are those of `record`.
inline void ExpectLibraryOf(ITypeLib* library, const TYPELIBRECORD& record) {
  ASSERT_NE(library, nullptr);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->guid, record.guid);
  EXPECT_EQ(attributes->lcid, record.lcid);
  EXPECT_EQ(attributes->syskind, record.syskind);
  EXPECT_EQ(attributes->wMajorVerNum, record.wMajorVerNum);
  EXPECT_EQ(attributes->wMinorVerNum, record.wMinorVerNum);
  EXPECT_EQ(attributes->wLibFlags, record.wLibFlags);
  library->ReleaseTLibAttr(attributes);
  LibraryText text = TextOf(library);
  EXPECT_EQ(text.name, record.name ? record.name : u"");
  EXPECT_EQ(text.helpString, record.helpString ? record.helpString : u"");
}

}  // namespace qv::testing

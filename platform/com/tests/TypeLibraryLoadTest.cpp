#include "MarrowjetTypeLibrary.h"

#include <TempPrefix.h>
#include <oleauto.h>
#include <windows.h>
#include <qv/prefix.h>
#include <qv/typelib.h>
#include <qv/utf.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using qv::testing::HeldTypeLib;
using qv::testing::MarrowjetRecord;

const std::string kRecordLibrary = "libqvtesttypelib.so";

bool IsLoaded(const std::string& path) {
  HMODULE module = nullptr;
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            qv::ToUtf16(path).c_str(), &module);
}

TEST(TypeLibraryLoad, ReadsTheRecordALibraryExports) {
  qv::testing::TempPrefix prefix;
  const std::string path = qv::LibraryDir() + "/" + kRecordLibrary;
  for (const std::string& name : {path, kRecordLibrary, std::string("QVTESTTYPELIB.DLL")}) {
    SCOPED_TRACE(name);
    HeldTypeLib library;
    ASSERT_EQ(LoadTypeLib(qv::ToUtf16(name).c_str(), library.Receive()), S_OK);
    // The library was opened only to copy its record: it is gone, the copy stays readable.
    EXPECT_FALSE(IsLoaded(path));
    qv::testing::ExpectLibraryOf(library.Get(), MarrowjetRecord());
    EXPECT_EQ(library.Get()->GetTypeInfoCount(), 0u);
  }
}

TEST(TypeLibraryLoad, LibraryWithoutRecordFailsAndItsFileLoads) {
  qv::testing::TempPrefix prefix;
  for (const char16_t* name : {u"libqvtestserver.so", u"OLEAUT32.DLL"}) {
    ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(LoadTypeLib(name, &library), TYPE_E_CANTLOADLIBRARY) << qv::ToUtf8(name);
    EXPECT_EQ(library, nullptr);
  }
  const std::string fallback = prefix.Path("libqvtestserver.tlb");
  ASSERT_TRUE(qv::WriteTypeLibraryFile(fallback, MarrowjetRecord()));
  HeldTypeLib library;
  ASSERT_EQ(LoadTypeLib(qv::ToUtf16(fallback).c_str(), library.Receive()), S_OK);
  qv::testing::ExpectLibraryOf(library.Get(), MarrowjetRecord());
}

TEST(TypeLibraryLoad, DriveLetterPathsAreMapped) {
  qv::testing::TempPrefix prefix;
  std::filesystem::create_directories(prefix.Path("drive_c/Quorvane"));
  ASSERT_TRUE(
      qv::WriteTypeLibraryFile(prefix.Path("drive_c/Quorvane/qvpm.tlb"), MarrowjetRecord()));
  HeldTypeLib library;
  EXPECT_EQ(LoadTypeLib(WSTR("C:\\Quorvane\\qvpm.tlb"), library.Receive()), S_OK);
  qv::testing::ExpectLibraryOf(library.Get(), MarrowjetRecord());
}

TEST(TypeLibraryLoad, WhatCannotBeReadFailsCleanly) {
  qv::testing::TempPrefix prefix;
  const std::string valid =
      "QUORVANE TYPELIB 1\nguid={1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}\nversion=1.0\nlcid=409\n"
      "syskind=win32\n";
  struct Case {
    const char* what;
    std::string content;
  };
  const Case cases[] = {
      {"empty", ""},
      {"no first line", valid.substr(valid.find('\n') + 1)},
      {"other format", "MSFT" + valid},
      {"no guid", "QUORVANE TYPELIB 1\nversion=1.0\nlcid=409\nsyskind=win32\n"},
      {"no version", "QUORVANE TYPELIB 1\nguid={1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}\nlcid=409\n"
                     "syskind=win32\n"},
      {"short guid", valid + "guid={1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DA}\n"},
      {"guid twice", valid + "guid={1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}\n"},
      {"version too large", "QUORVANE TYPELIB 1\nguid={1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}\n"
                            "version=10000.0\nlcid=409\nsyskind=win32\n"},
      {"version without minor", "QUORVANE TYPELIB 1\nguid={1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}\n"
                                "version=1\nlcid=409\nsyskind=win32\n"},
      {"negative lcid", "QUORVANE TYPELIB 1\nguid={1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}\n"
                        "version=1.0\nlcid=-409\nsyskind=win32\n"},
      {"unknown system kind", "QUORVANE TYPELIB 1\nguid={1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}\n"
                              "version=1.0\nlcid=409\nsyskind=win128\n"},
      {"flags too large", valid + "flags=10000\n"},
      {"line without =", valid + "name\n"},
      {"null character", valid + std::string("name=MARROW\0JET\n", 17)},
      {"not a library after all", "\x7F" "ELF" + valid},
      {"too large", valid + "# " + std::string(70000, 'x') + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = prefix.Path("bad.tlb");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.content;
    ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(LoadTypeLib(qv::ToUtf16(path).c_str(), &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(library, nullptr);
  }
  const std::u16string names[] = {qv::ToUtf16(prefix.Path("missing.tlb")),
                                  qv::ToUtf16(prefix.Dir()), u"", u"relative/x.tlb",
                                  u"Q:\\unmapped.tlb", u"no-such-library.dll"};
  for (const std::u16string& name : names) {
    ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(LoadTypeLib(name.c_str(), &library), TYPE_E_CANTLOADLIBRARY) << qv::ToUtf8(name);
    EXPECT_EQ(library, nullptr);
  }
  ITypeLib* library = nullptr;
  EXPECT_EQ(LoadTypeLib(nullptr, &library), E_INVALIDARG);
  EXPECT_EQ(LoadTypeLib(u"libqvtesttypelib.so", nullptr), E_INVALIDARG);
}

}  // namespace

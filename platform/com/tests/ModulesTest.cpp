#include <TempPrefix.h>
#include <qv/prefix.h>
#include <windows.h>
#include <qv/utf.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

std::u16string FileName(HMODULE module) {
  WCHAR buffer[4096];
  DWORD length = GetModuleFileNameW(module, buffer, 4096);
  return std::u16string(buffer, length);
}

std::u16string ProgramPath() {
  return qv::ToUtf16(std::filesystem::read_symlink("/proc/self/exe").string());
}

TEST(Modules, ModuleFromAddressAndItsFile) {
  HMODULE program = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ProgramPath), &program));
  EXPECT_EQ(FileName(program), ProgramPath());
  EXPECT_EQ(FileName(nullptr), ProgramPath());

  HMODULE platform = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                 reinterpret_cast<LPCWSTR>(&CoCreateInstance), &platform));
  EXPECT_NE(platform, program);
  std::u16string path = FileName(platform);
  // Loaded under its versioned name (libqvplatform.so.<major>).
  EXPECT_TRUE(path.starts_with(u"/") && path.find(WSTR("/libqvplatform.so.")) != std::u16string::npos)
      << qv::ToUtf8(path);
  HMODULE byName = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(0, WSTR("libqvplatform.so"), &byName));
  EXPECT_EQ(byName, platform);
  EXPECT_TRUE(FreeLibrary(byName));
  EXPECT_TRUE(FreeLibrary(platform));

  auto heap = std::make_unique<int>(0);
  HMODULE none = program;
  SetLastError(0);
  EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  reinterpret_cast<LPCWSTR>(heap.get()), &none));
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Modules, ShortBufferTruncatesAndTerminates) {
  const std::u16string full = ProgramPath();
  WCHAR buffer[8];
  for (WCHAR& c : buffer) c = u'#';
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 5), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::u16string(buffer), full.substr(0, 4));
  EXPECT_EQ(buffer[5], u'#');
  std::u16string exact(full.size() + 1, u'#');
  EXPECT_EQ(GetModuleFileNameW(nullptr, exact.data(), static_cast<DWORD>(full.size())),
            full.size());
  EXPECT_EQ(GetModuleFileNameW(nullptr, exact.data(), static_cast<DWORD>(full.size() + 1)),
            full.size());
  EXPECT_EQ(exact.c_str(), full);
}

TEST(Modules, LoadLookUpAndFree) {
  const std::string server = qv::LibraryDir() + "/libqvtestserver.so";
  HMODULE found = nullptr;
  // Creation keeps servers loaded for good: when this process has created objects before, the
  // library stays after the frees below.
  const bool loadedBefore = GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                               qv::ToUtf16(server).c_str(), &found);
  HMODULE first = LoadLibraryA(server.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(LoadLibraryW(qv::ToUtf16(server).c_str()), first);
  EXPECT_NE(GetProcAddress(first, "DllGetClassObject"), nullptr);
  // The server uses CoCreateInstance from the platform but does not export it itself.
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(first, "CoCreateInstance"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(first, reinterpret_cast<LPCSTR>(1)), nullptr);

  // Two loads, two frees: then the library is gone, unless it was there before.
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 qv::ToUtf16(server).c_str(), &found));
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(loadedBefore, GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                             qv::ToUtf16(server).c_str(), &found));
}

TEST(Modules, LoadFailuresSetTheLastError) {
  qv::testing::TempPrefix prefix;
  std::ofstream(prefix.Path("text.so")) << "not a library\n";
  struct Case {
    std::string name;
    DWORD error;
  };
  for (const Case& c : {Case{"/nonexistent/libx.so", ERROR_MOD_NOT_FOUND},
                        Case{"NOSUCHLIB.DLL", ERROR_MOD_NOT_FOUND},
                        Case{"lib/libqvplatform.so", ERROR_MOD_NOT_FOUND},
                        Case{prefix.Path("text.so"), ERROR_BAD_FORMAT}}) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(c.name.c_str()), nullptr) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }
}

}  // namespace

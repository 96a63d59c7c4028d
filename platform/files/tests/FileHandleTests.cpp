#include <gtest/gtest.h>
#include <winbase.h>

#include <cstring>
#include <sys/stat.h>
#include <filesystem>
#include <utility>

#include "FileTestSupport.h"
#include "TempPrefix.h"

namespace {

using qv::files::testing::ReadHostFile;
using qv::files::testing::WriteHostFile;

// Closes a handle at the end of a test whatever happens.
struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

struct DispositionCase {
  DWORD disposition;
  bool exists;
  bool opens;
  DWORD error;  // the last error after the call, on success too
  const char* contentAfter;  // nullptr: no file
};

TEST(CreateFile, CreationDispositions) {
  qv::testing::TempPrefix prefix;
  const DispositionCase cases[] = {
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
      {0, true, false, ERROR_INVALID_PARAMETER, "old"},
      {9, true, false, ERROR_INVALID_PARAMETER, "old"},
  };
  for (const DispositionCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "disposition " << c.disposition << ", exists " << c.exists);
    std::string path = prefix.Path("f.dat");
    std::filesystem::remove(path);
    if (c.exists) WriteHostFile(path, "old");
    SetLastError(12345);
    HandleCloser file{CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  c.disposition, FILE_ATTRIBUTE_NORMAL, nullptr)};
    EXPECT_EQ(file.handle != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_NE(file.handle, nullptr);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(std::filesystem::exists(path), c.contentAfter != nullptr);
    if (c.contentAfter) {
      EXPECT_EQ(ReadHostFile(path), c.contentAfter);
    }
  }
}

// The way the monitor appends a job's bytes: open or create, move to the end, one write, close.
void Append(const char16_t* path, const std::string& bytes) {
  HandleCloser file{CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
  ASSERT_NE(file.handle, INVALID_HANDLE_VALUE) << GetLastError();
  ASSERT_NE(SetFilePointer(file.handle, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  EXPECT_EQ(written, bytes.size());
}

TEST(CreateFile, OpenAlwaysAndSeekToEndAppends) {
  qv::testing::TempPrefix prefix;
  std::filesystem::create_directories(prefix.Path("drive_c/Spool"));
  Append(WSTR("C:\\Spool\\job.tmp"), "first,");
  Append(WSTR("c:/Spool/job.tmp"), "second");
  EXPECT_EQ(ReadHostFile(prefix.Path("drive_c/Spool/job.tmp")), "first,second");
}

// Two writers that asked only to append, as log writers in two processes do: neither
// overwrites what the other wrote, although neither moves its file pointer.
TEST(CreateFile, AppendOnlyHandlesWriteAtTheEnd) {
  qv::testing::TempPrefix prefix;
  auto open = [] {
    return CreateFileW(WSTR("C:\\log.txt"), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HandleCloser first{open()};
  HandleCloser second{open()};
  ASSERT_NE(first.handle, INVALID_HANDLE_VALUE);
  ASSERT_NE(second.handle, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  for (auto [handle, line] : {std::pair{first.handle, "one\r\n"}, {second.handle, "two\r\n"}, {first.handle, "three\r\n"}})
    ASSERT_TRUE(WriteFile(handle, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr));
  EXPECT_EQ(ReadHostFile(prefix.Path("drive_c/log.txt")), "one\r\ntwo\r\nthree\r\n");
  char byte;
  DWORD read = 0;
  EXPECT_FALSE(ReadFile(first.handle, &byte, 1, &read, nullptr));  // appending grants no reading
}

TEST(CreateFile, AccessIsEnforcedPerHandle) {
  qv::testing::TempPrefix prefix;
  std::string path = prefix.Path("f.dat");
  WriteHostFile(path, "abc");
  char buffer[8] = {};
  DWORD count = 99;

  HandleCloser reader{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr)};
  ASSERT_NE(reader.handle, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteFile(reader.handle, "x", 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(ReadFile(reader.handle, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(std::string(buffer, count), "abc");
  EXPECT_TRUE(ReadFile(reader.handle, buffer, sizeof buffer, &count, nullptr));  // at the end
  EXPECT_EQ(count, 0u);

  HandleCloser writer{CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)};
  ASSERT_NE(writer.handle, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ReadFile(writer.handle, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_TRUE(FlushFileBuffers(writer.handle));
}

TEST(CreateFile, Refusals) {
  qv::testing::TempPrefix prefix;
  struct Case {
    std::string path;
    DWORD error;
  } cases[] = {
      {prefix.Dir(), ERROR_ACCESS_DENIED},  // a folder is not a file
      {prefix.Path("missing/f.dat"), ERROR_PATH_NOT_FOUND},
      {prefix.Path("f.dat/x"), ERROR_PATH_NOT_FOUND},  // through a file
      {prefix.Path("a/../f.dat"), ERROR_INVALID_NAME},
      {"relative.dat", ERROR_PATH_NOT_FOUND},
      {"", ERROR_PATH_NOT_FOUND},
  };
  WriteHostFile(prefix.Path("f.dat"), "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(CreateFileA(c.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_FALSE(std::filesystem::exists("relative.dat"));
}

TEST(FilePointer, MovesIn64Bits) {
  qv::testing::TempPrefix prefix;
  HandleCloser file{CreateFileA(prefix.Path("sparse.dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, CREATE_NEW, 0, nullptr)};
  ASSERT_NE(file.handle, INVALID_HANDLE_VALUE);

  LONG high = 1;  // 4 GiB + 16
  EXPECT_EQ(SetFilePointer(file.handle, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(high, 1);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.handle, "x", 1, &written, nullptr));
  DWORD sizeHigh = 0;
  EXPECT_EQ(GetFileSize(file.handle, &sizeHigh), 17u);
  EXPECT_EQ(sizeHigh, 1u);

  high = -1;  // back by 7 from the end, as one signed 64-bit distance
  EXPECT_EQ(SetFilePointer(file.handle, -7, &high, FILE_END), 10u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(SetFilePointer(file.handle, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_EQ(SetFilePointer(file.handle, 3, nullptr, FILE_CURRENT), 5u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});

  // Before the start; beyond 32 bits with no high part to report it; an unknown method.
  EXPECT_EQ(SetFilePointer(file.handle, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), 131u);
  EXPECT_EQ(SetFilePointer(file.handle, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(SetFilePointer(file.handle, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(SetFilePointer(file.handle, 0, nullptr, FILE_CURRENT), 5u);  // unmoved
}

// What a handle tells of its file: the file's identity (volume and index), size, links and
// attributes, the same through any handle or name of the file, and different for another file.
TEST(Handles, FileInformationTellsAFileByItsIdentity) {
  qv::testing::TempPrefix prefix;
  const std::string plain = prefix.Path("plain.dat"), readOnly = prefix.Path("read-only.dat"),
                    linked = prefix.Path("linked.dat"), big = prefix.Path("big.dat");
  WriteHostFile(plain, "12345");
  WriteHostFile(readOnly, "");
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
  std::filesystem::create_hard_link(plain, linked);
  WriteHostFile(big, "");
  std::filesystem::resize_file(big, (uint64_t{5} << 32) + 7);  // sparse
  struct Row {
    const char* name;
    std::string path;
    DWORD access;
    uint64_t size;
    DWORD links;
    DWORD attributes;
  } rows[] = {
      {"a plain file", plain, GENERIC_READ, 5, 2, FILE_ATTRIBUTE_NORMAL},
      {"the same file opened for appending", plain, FILE_APPEND_DATA, 5, 2, FILE_ATTRIBUTE_NORMAL},
      {"the same file by its second name", linked, GENERIC_READ, 5, 2, FILE_ATTRIBUTE_NORMAL},
      {"a read-only file", readOnly, GENERIC_READ, 0, 1, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_READONLY},
      {"a file past 4 GiB", big, GENERIC_READ, (uint64_t{5} << 32) + 7, 1, FILE_ATTRIBUTE_NORMAL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HandleCloser file{CreateFileA(row.path.c_str(), row.access, 0, nullptr, OPEN_EXISTING, 0, nullptr)};
    ASSERT_NE(file.handle, INVALID_HANDLE_VALUE) << GetLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    ASSERT_TRUE(GetFileInformationByHandle(file.handle, &info)) << GetLastError();
    struct stat host {};
    ASSERT_EQ(stat(row.path.c_str(), &host), 0);
    EXPECT_EQ((uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, static_cast<uint64_t>(host.st_ino));
    const uint64_t device = static_cast<uint64_t>(host.st_dev);
    EXPECT_EQ(info.dwVolumeSerialNumber, static_cast<DWORD>(device ^ (device >> 32)));
    EXPECT_EQ((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow, row.size);
    EXPECT_EQ(info.nNumberOfLinks, row.links);
    EXPECT_EQ(info.dwFileAttributes, row.attributes);
  }
  HandleCloser unknown{reinterpret_cast<HANDLE>(uintptr_t{8})};
  BY_HANDLE_FILE_INFORMATION info{};
  EXPECT_FALSE(GetFileInformationByHandle(unknown.handle, &info));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  unknown.handle = INVALID_HANDLE_VALUE;
}

TEST(Handles, BadHandlesAreRefused) {
  qv::testing::TempPrefix prefix;
  HANDLE file = CreateFileA(prefix.Path("f.dat").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(file));
  DWORD count = 0;
  HANDLE bad[] = {file, INVALID_HANDLE_VALUE, nullptr, reinterpret_cast<HANDLE>(uintptr_t{3})};
  for (HANDLE handle : bad) {
    SCOPED_TRACE(handle);
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_FALSE(WriteFile(handle, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(SetFilePointer(handle, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  }
  // A new file never gets the handle of a closed one.
  HandleCloser again{CreateFileA(prefix.Path("g.dat").c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, 0, nullptr)};
  EXPECT_NE(again.handle, file);
}

}  // namespace

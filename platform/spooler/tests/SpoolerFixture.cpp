#include "SpoolerFixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace qv::testing {

std::string SpoolerTest::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string SpoolerTest::AllByteValues(size_t copies) {
  std::string data;
  for (size_t copy = 0; copy < copies; ++copy)
    for (int value = 0; value < 256; ++value) data += static_cast<char>(value);
  return data;
}

DWORD SpoolerTest::Spool(const std::string& printer, const std::string& data, DWORD* status,
                         const std::string& document) {
  return SpoolWith(SpoolJob, printer, data, status, document);
}

DWORD SpoolerTest::SpoolUnaccepted(const std::string& printer, const std::string& data, DWORD* status) {
  return SpoolWith(SpoolJobUnflushed, printer, data, status, "Report.txt");
}

DWORD SpoolerTest::SpoolWith(SpoolCall call, const std::string& printer, const std::string& data, DWORD* status,
                             const std::string& document) {
  std::string input = prefix.Path("input-" + std::to_string(rand()));
  std::ofstream(input, std::ios::binary) << data;
  int fd = open(input.c_str(), O_RDONLY);
  JobSubmission job{printer, document, "ann", "pc1", 0};
  DWORD id = 0;
  DWORD result = call(job, fd, id, {});
  close(fd);
  std::filesystem::remove(input);
  if (status) *status = result;
  return result == ERROR_SUCCESS ? id : 0;
}

std::vector<std::string> SpoolerTest::SpoolLeftovers() const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(prefix.Path("spool"), error)) {
    std::string name = entry.path().filename().string();
    if (name != ".jobid.lock" && name != "printed" && name != "sent") names.push_back(name);
  }
  return names;
}

void SpoolerTest::AddOfficeAndJammedPrinters() {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Jammed", "FILE:", ""), ERROR_SUCCESS);
  std::filesystem::create_directories(prefix.Path("spool/printed"));
  std::ofstream(prefix.Path("spool/printed/Jammed")) << "in the way";
}

}  // namespace qv::testing

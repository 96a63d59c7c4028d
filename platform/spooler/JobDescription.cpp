#include "JobDescription.h"

#include <charconv>
#include <sstream>

namespace qv::spool {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char next = text[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string FormatDescription(const JobDescription& job) {
  std::ostringstream out;
  out << "id=" << job.id << "\n";
  // Next to the id, in the file's first block: a crash that cuts the file short cuts this too
  // only when it cuts the id, and a description without an id is no job.
  if (!job.unflushedBoot.empty()) out << "unflushed=" << Escape(job.unflushedBoot) << "\n";
  out << "printer=" << Escape(job.printer) << "\n"
      << "machine=" << Escape(job.machine) << "\n"
      << "user=" << Escape(job.user) << "\n"
      << "document=" << Escape(job.document) << "\n"
      << "notify=" << Escape(job.notifyName) << "\n"
      << "datatype=" << Escape(job.datatype) << "\n"
      << "driver=" << Escape(job.driver) << "\n"
      << "priority=" << job.priority << "\n"
      << "size=" << job.size << "\n"
      << "pages=" << job.totalPages << "\n"
      << "submitted=" << job.submitted << "\n"
      << "state=" << job.state << "\n"
      << "hops=" << job.hops << "\n"
      << "budget=" << job.reprintBudget << "\n"
      << "printed=" << (job.printed ? 1 : 0) << "\n"
      << "errorcode=" << job.errorCode << "\n"
      << "error=" << Escape(job.error) << "\n";
  return out.str();
}

bool ParseDescription(const std::string& text, JobDescription& job) {
  job = JobDescription();
  bool haveId = false;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    std::string value = Unescape(line.substr(equals + 1));
    unsigned printed = 0;
    if (key == "id") haveId = ParseNumber(value, job.id) && job.id != 0;
    else if (key == "printer") job.printer = value;
    else if (key == "machine") job.machine = value;
    else if (key == "user") job.user = value;
    else if (key == "document") job.document = value;
    else if (key == "notify") job.notifyName = value;
    else if (key == "datatype") job.datatype = value;
    else if (key == "driver") job.driver = value;
    else if (key == "priority") ParseNumber(value, job.priority);
    else if (key == "size") ParseNumber(value, job.size);
    else if (key == "pages") ParseNumber(value, job.totalPages);
    else if (key == "submitted") ParseNumber(value, job.submitted);
    else if (key == "state") job.state = value;
    else if (key == "hops") ParseNumber(value, job.hops);
    else if (key == "budget") ParseNumber(value, job.reprintBudget);
    else if (key == "printed") job.printed = ParseNumber(value, printed) && printed != 0;
    else if (key == "errorcode") ParseNumber(value, job.errorCode);
    else if (key == "error") job.error = value;
    else if (key == "unflushed") job.unflushedBoot = value;
  }
  return haveId;
}

}  // namespace qv::spool

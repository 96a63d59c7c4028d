// The options and operands of one sub-command: "--name VALUE" or "--name=VALUE" for options
// that take a value, "--name" for flags, everything else an operand ("-" too; "--" ends the
// options). Unknown options and missing values are usage errors.
#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qv::cli {

class OptionParser {
 public:
  OptionParser(const std::vector<std::string>& args, const std::set<std::string>& valued,
               const std::set<std::string>& flags = {});

  std::optional<std::string> Value(const std::string& name) const;
  bool Flag(const std::string& name) const { return flags_.count(name) != 0; }
  const std::vector<std::string>& Operands() const { return operands_; }
  // Usage error unless there are between `least` and `most` operands.
  void ExpectOperands(size_t least, size_t most) const;

 private:
  std::map<std::string, std::string> values_;
  std::set<std::string> flags_;
  std::vector<std::string> operands_;
};

}  // namespace qv::cli

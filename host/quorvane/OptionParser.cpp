#include "OptionParser.h"

#include "Command.h"

namespace qv::cli {

OptionParser::OptionParser(const std::vector<std::string>& args, const std::set<std::string>& valued,
                           const std::set<std::string>& flags) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      operands_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    if (valued.count(name)) {
      if (values_.count(name)) throw UsageError(name + " is given twice");
      if (equals != std::string::npos) {
        values_[name] = arg.substr(equals + 1);
      } else {
        if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
        values_[name] = args[++i];
      }
    } else if (flags.count(name) && equals == std::string::npos) {
      flags_.insert(name);
    } else {
      throw UsageError("unknown option \"" + arg + "\"");
    }
  }
}

std::optional<std::string> OptionParser::Value(const std::string& name) const {
  auto found = values_.find(name);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

void OptionParser::ExpectOperands(size_t least, size_t most) const {
  if (operands_.size() < least) throw UsageError("too few arguments");
  if (operands_.size() > most) throw UsageError("unexpected argument \"" + operands_[most] + "\"");
}

}  // namespace qv::cli

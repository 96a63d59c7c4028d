// quorvane reg: query, add, delete, export and import registry keys and values, after the
// manner of Windows' reg.exe. Options may be written /x or -x, in any case. Nothing asks for
// confirmation: /f is accepted for compatibility.
#include "Command.h"
#include "InputFile.h"
#include "RegistryData.h"
#include "RegistryFile.h"
#include "RegistryKey.h"
#include "RegistryPath.h"
#include "StatusText.h"

#include <qv/utf.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace qv::cli {
namespace {

const char kUsage[] =
    "usage: quorvane reg query KEY [/v NAME | /ve] [/s]\n"
    "       quorvane reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
    "       quorvane reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "       quorvane reg export KEY FILE [/y]\n"
    "       quorvane reg import FILE              (FILE \"-\": standard input)\n"
    "KEY is HKLM\\PATH or HKCR\\PATH (also HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT).\n"
    "TYPE is REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD or\n"
    "REG_BINARY. REG_MULTI_SZ items are separated by \\0 unless /s names another separator;\n"
    "REG_DWORD takes a decimal number or 0x and hex digits, REG_BINARY pairs of hex digits.\n"
    "/s with query lists the keys below too; /va deletes every value of the key;\n"
    "/y lets export replace an existing FILE.";

// The command line of one sub-command: its words and the options it allows.
struct Arguments {
  std::vector<std::string> words;
  std::map<std::string, std::string> options;  // "/v" -> NAME; flags map to ""

  bool Has(const char* option) const { return options.count(option) > 0; }
  const std::string& Get(const char* option) const { return options.at(option); }
};

std::string OptionName(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return std::string();
  std::string name = "/";
  for (size_t i = 1; i < arg.size(); ++i) name += static_cast<char>(std::tolower(static_cast<unsigned char>(arg[i])));
  return name;
}

// `flags` and `valued` list the options allowed; anything else is a word (files are often
// absolute paths, which begin with "/").
Arguments ParseArguments(const std::vector<std::string>& args, std::set<std::string> flags,
                         std::set<std::string> valued, size_t words) {
  Arguments parsed;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string name = OptionName(args[i]);
    if (flags.count(name) || valued.count(name)) {
      if (parsed.options.count(name)) throw UsageError(args[i] + " is given twice");
      if (valued.count(name)) {
        if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
        parsed.options[name] = args[++i];
      } else {
        parsed.options[name] = "";
      }
    } else {
      parsed.words.push_back(args[i]);
    }
  }
  if (parsed.words.size() < words) throw UsageError("reg " + args[0] + ": missing argument");
  if (parsed.words.size() > words) throw UsageError("reg " + args[0] + ": unexpected argument \"" + parsed.words[words] + "\"");
  return parsed;
}

RegistryPath KeyArgument(const std::string& text) {
  RegistryPath path;
  std::string problem;
  if (!ParseRegistryPath(text, path, problem)) throw UsageError(problem);
  return path;
}

// The value the options name: /v NAME or /ve (the default value); nothing when neither.
bool ValueNameOption(const Arguments& args, std::u16string& name) {
  if (args.Has("/v") && args.Has("/ve")) throw UsageError("give /v or /ve, not both");
  if (args.Has("/ve")) {
    name.clear();
    return true;
  }
  if (!args.Has("/v")) return false;
  name = qv::ToUtf16(args.Get("/v"));
  return true;
}

RegistryKey OpenKey(const RegistryPath& path) {
  RegistryKey key;
  if (LSTATUS status = key.Open(path.root, path.Sub())) FailWithStatus(path.Text(), status);
  return key;
}

std::string ValueLabel(const std::u16string& name) { return name.empty() ? "(Default)" : qv::ToUtf8(name); }

void PrintValue(const RegistryValue& value) {
  std::printf("    %s    %s    %s\n", ValueLabel(value.name).c_str(), TypeName(value.type).c_str(),
              DisplayData(value.type, value.data).c_str());
}

void PrintValues(const RegistryKey& key, const std::string& path) {
  std::vector<RegistryValue> values;
  if (LSTATUS status = key.Values(values)) FailWithStatus(path, status);
  std::printf("%s\n", path.c_str());
  for (const RegistryValue& value : values) PrintValue(value);
  std::printf("\n");
}

void PrintKey(const RegistryKey& key, const RegistryPath& path, bool recursive) {
  if (recursive) {
    std::string failedPath;
    LSTATUS status = WalkTree(key, path.Text(), [](const RegistryKey& each, const std::string& name) -> LSTATUS {
      PrintValues(each, name);
      return ERROR_SUCCESS;
    }, failedPath);
    if (status) FailWithStatus(failedPath, status);
    return;
  }
  std::vector<std::u16string> children;
  if (LSTATUS status = key.SubkeyNames(children)) FailWithStatus(path.Text(), status);
  PrintValues(key, path.Text());
  for (const std::u16string& child : children) std::printf("%s\n", path.Child(qv::ToUtf8(child)).Text().c_str());
}

int Query(const std::vector<std::string>& args) {
  Arguments parsed = ParseArguments(args, {"/ve", "/s"}, {"/v"}, 1);
  RegistryPath path = KeyArgument(parsed.words[0]);
  RequireInstallation();
  RegistryKey key = OpenKey(path);
  std::u16string name;
  if (ValueNameOption(parsed, name)) {
    RegistryValue value;
    if (LSTATUS status = key.Query(name, value))
      FailWithStatus(path.Text() + " value " + ValueLabel(name), status);
    std::printf("%s\n", path.Text().c_str());
    PrintValue(value);
    std::printf("\n");
    return 0;
  }
  PrintKey(key, path, parsed.Has("/s"));
  return 0;
}

int Add(const std::vector<std::string>& args) {
  Arguments parsed = ParseArguments(args, {"/ve", "/f"}, {"/v", "/t", "/s", "/d"}, 1);
  RegistryPath path = KeyArgument(parsed.words[0]);
  RegistryValue value;
  bool setValue = ValueNameOption(parsed, value.name) || parsed.Has("/t") || parsed.Has("/d");
  value.type = REG_SZ;
  if (parsed.Has("/t") && !ParseTypeName(parsed.Get("/t"), value.type))
    throw UsageError("bad type \"" + parsed.Get("/t") + "\"");
  std::string separator = parsed.Has("/s") ? parsed.Get("/s") : "\\0";
  if (parsed.Has("/s") && (value.type != REG_MULTI_SZ || separator.empty()))
    throw UsageError("/s names the separator of REG_MULTI_SZ items");
  std::string problem;
  if (setValue && !DataFromText(value.type, parsed.Has("/d") ? parsed.Get("/d") : "", separator, value.data, problem))
    throw UsageError(problem);

  if (!CanCreateKeys(path, problem)) throw UsageError(problem);
  RegistryKey key;
  if (LSTATUS status = key.Create(path.root, path.Sub())) FailWithStatus(path.Text(), status);
  if (setValue)
    if (LSTATUS status = key.Set(value)) FailWithStatus(path.Text() + " value " + ValueLabel(value.name), status);
  std::printf("%s\n", StatusText(ERROR_SUCCESS).c_str());
  return 0;
}

int Delete(const std::vector<std::string>& args) {
  Arguments parsed = ParseArguments(args, {"/ve", "/va", "/f"}, {"/v"}, 1);
  RegistryPath path = KeyArgument(parsed.words[0]);
  std::u16string name;
  bool oneValue = ValueNameOption(parsed, name);
  if (oneValue && parsed.Has("/va")) throw UsageError("give /v, /ve or /va, not several");
  if (oneValue || parsed.Has("/va")) {
    RegistryKey key = OpenKey(path);
    std::vector<RegistryValue> values;
    if (oneValue) values.push_back({name, REG_NONE, {}});
    else if (LSTATUS status = key.Values(values)) FailWithStatus(path.Text(), status);
    for (const RegistryValue& value : values)
      if (LSTATUS status = key.Delete(value.name))
        FailWithStatus(path.Text() + " value " + ValueLabel(value.name), status);
  } else {
    if (path.sub.empty()) FailWithStatus(path.Text(), ERROR_ACCESS_DENIED);
    if (LSTATUS status = DeleteTree(path.root, path.Sub())) FailWithStatus(path.Text(), status);
  }
  std::printf("%s\n", StatusText(ERROR_SUCCESS).c_str());
  return 0;
}

int Export(const std::vector<std::string>& args) {
  Arguments parsed = ParseArguments(args, {"/y"}, {}, 2);
  RegistryPath path = KeyArgument(parsed.words[0]);
  const std::string& file = parsed.words[1];
  RequireInstallation();
  std::string text;
  if (LSTATUS status = ExportTree(path, text)) FailWithStatus(path.Text(), status);
  std::error_code ignored;
  if (!parsed.Has("/y") && std::filesystem::exists(file, ignored))
    throw Failure(file + " exists already; /y replaces it");
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw Failure("cannot write " + file + ": " + std::strerror(errno));
  std::printf("%s\n", StatusText(ERROR_SUCCESS).c_str());
  return 0;
}

int Import(const std::vector<std::string>& args) {
  Arguments parsed = ParseArguments(args, {}, {}, 1);
  // "-" reads standard input.
  InputFile input(parsed.words[0]);
  const std::string& file = input.Name();
  const std::string content = input.Content();
  for (const RegistryChange& change : ParseRegistryFile(content, file))
    if (LSTATUS status = ApplyRegistryChange(change))
      FailWithStatus(file + ":" + std::to_string(change.line) + ": " + change.key.Text(), status);
  std::printf("%s\n", StatusText(ERROR_SUCCESS).c_str());
  return 0;
}

int RunReg(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("reg needs an operation");
  const std::string& operation = args[0];
  if (operation == "query") return Query(args);
  if (operation == "add") return Add(args);
  if (operation == "delete") return Delete(args);
  if (operation == "export") return Export(args);
  if (operation == "import") return Import(args);
  throw UsageError("unknown reg operation \"" + operation + "\"");
}

const CommandRegistrar kRegister({"reg", "query, add, delete, export and import registry keys and values", kUsage,
                                  &RunReg});

}  // namespace
}  // namespace qv::cli

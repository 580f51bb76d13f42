#include "host/cli/cli.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "engine/text/encoding.h"

namespace ulo::host {
namespace {

namespace fs = std::filesystem;

// `text` broken at blanks into lines of at most `width` characters.
std::string Wrap(const std::string& text, size_t width) {
  std::string out;
  size_t lineStart = 0;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    if (out.size() > lineStart && out.size() - lineStart + 1 + word.size() > width) {
      out += '\n';
      lineStart = out.size();
    } else if (out.size() > lineStart) {
      out += ' ';
    }
    out += word;
  }
  return out;
}

// A decimal whole number, "-" or "+" and digits only: CLI11 would read "010"
// as octal and "0x10" as hex. Nullopt when it is none; `tooLarge` says the
// digits ran past the 64-bit range.
std::optional<int64_t> ParseDecimal(const std::string& text, bool* tooLarge) {
  *tooLarge = false;
  const char* begin = text.c_str();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  if (begin == end || (*begin != '-' && !std::isdigit(static_cast<unsigned char>(*begin))))
    return std::nullopt;
  int64_t value = 0;
  auto [stop, code] = std::from_chars(begin, end, value);
  if (stop != end) return std::nullopt;
  if (code == std::errc::result_out_of_range) {
    *tooLarge = true;
    return std::nullopt;
  }
  if (code != std::errc()) return std::nullopt;
  return value;
}

}  // namespace

void Tell(const std::string& message) {
  std::fprintf(stderr, "ulo: %s\n", message.c_str());
}

int Fail(const std::string& message) {
  Tell(message);
  return kExitFailure;
}

int Report(const std::string& failure) {
  return failure.empty() ? 0 : Fail(failure);
}

bool ShowProgress(const Global& global) {
  return !global.quiet && isatty(STDERR_FILENO);
}

std::string StatusText(int32_t status) {
  return std::to_string(status) + ": " + DescribeStatus(status);
}

Session* Host::Open() {
  if (tried) return session ? &*session : nullptr;
  tried = true;
  std::string error;
  if (!library.Load(global.libraryPath, &error)) {
    Fail("cannot load the library " + global.libraryPath + ": " + error);
    return nullptr;
  }
  if (!library.Resolve(&exports, &error)) {
    Fail(error);
    return nullptr;
  }
  session.emplace(exports, global.direct);
  if (!session->Open(&error)) {
    session.reset();
    Fail(error);
    return nullptr;
  }
  return &*session;
}

std::string HelpFormatter::make_usage(const CLI::App*, std::string name) const {
  return "usage: " + name + (usage.empty() ? "" : " " + usage) + "\n\n";
}

std::string HelpFormatter::make_help(const CLI::App* app, std::string name,
                                     CLI::AppFormatMode mode) const {
  if (mode == CLI::AppFormatMode::Sub) return make_expanded(app);
  std::stringstream out;
  out << make_usage(app, name);
  std::string description = app->get_description();
  if (!description.empty()) out << description << "\n";
  out << make_positionals(app);
  out << make_groups(app, mode);
  out << make_subcommands(app, mode);
  std::string footer = make_footer(app);
  if (!footer.empty()) out << '\n' << footer;
  return out.str();
}

std::string HelpFormatter::make_subcommand(const CLI::App* command) const {
  std::string name = command->get_name();
  auto formatter = std::dynamic_pointer_cast<HelpFormatter>(command->get_formatter());
  if (formatter && !formatter->usage.empty()) name += " " + formatter->usage;
  std::string summary = command->get_description();
  summary = summary.substr(0, summary.find('\n'));
  std::stringstream out;
  CLI::detail::format_help(out, name, summary, column_width_);
  return out.str();
}

std::string HelpFormatter::make_option_desc(const CLI::Option* option) const {
  size_t width = column_width_ < 60 ? 80 - column_width_ : 20;
  return Wrap(option->get_description(), width);
}

CLI::App* AddCommand(CLI::App& app, const std::string& name, const std::string& usage,
                     const std::string& description) {
  // The first line of the description is the summary in 'ulo --help'.
  CLI::App* command = app.add_subcommand(name, description);
  command->formatter(std::make_shared<HelpFormatter>(usage));
  return command;
}

void AddInOut(CLI::App& command, FileArguments* args, const char* in, const char* inHelp,
              const char* outHelp) {
  command.add_option(in, args->in, inHelp)->required();
  command.add_option("OUT", args->out, outHelp)->required();
}

std::string InputOverwritten(const std::vector<std::string>& inputs,
                             const std::vector<std::string>& outputs, const std::string& workDir) {
  for (const std::string& input : inputs) {
    for (const std::string& output : outputs) {
      if (std::string problem = SameFileProblem(input, output); !problem.empty()) return problem;
    }
    if (!workDir.empty() && LiesUnder(input, workDir)) return input + " lies inside " + workDir;
  }
  return {};
}

CLI::Validator WholeNumber(int64_t minimum, int64_t maximum) {
  return CLI::Validator(
      [minimum, maximum](std::string& text) -> std::string {
        // A 32-bit signed integer of any value: no bound worth naming.
        bool anyInt32 = minimum == INT32_MIN && maximum == INT32_MAX;
        std::string kind = anyInt32 ? "a 32-bit integer" : "a whole number";
        bool tooLarge = false;
        std::optional<int64_t> value = ParseDecimal(text, &tooLarge);
        if (!value && !tooLarge) return "must be " + kind + ", not '" + text + "'";
        bool below = value ? *value < minimum : text.find('-') != std::string::npos;
        if (anyInt32 && (tooLarge || below || *value > maximum))
          return "must be a 32-bit integer, not '" + text + "'";
        if (below) return "must be at least " + std::to_string(minimum);
        if (tooLarge || *value > maximum) return "must be at most " + std::to_string(maximum);
        // CLI11 converts the text after the checks: hand it the value read here.
        text = std::to_string(*value);
        return {};
      },
      "");
}

CLI::Validator Int32AtLeast(int64_t minimum) {
  return WholeNumber(minimum, INT32_MAX);
}

CLI::Validator Int32Any() {
  return WholeNumber(INT32_MIN, INT32_MAX);
}

CLI::Validator KnownEncoding() {
  return CLI::Validator([](std::string& name) { return EncodingProblem(name); }, "");
}

CLI::Validator WritableEncoding() {
  return CLI::Validator([](std::string& name) { return OutputEncodingProblem(name); }, "");
}

}  // namespace ulo::host

// Fuzzes the command line: any argument vector (the input split at zero
// bytes) gives what a plain model of the documented scanning rules gives.

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ProgramOptions.h"

namespace {

using qz::evmon::fuzz::Require;

struct Model {
  std::string dbPath;
  std::string logPath;
  std::optional<std::string> badLevel;  // the first -e word that is no level
  bool showUsage = false;
  bool showVersion = false;
};

bool IsLevel(std::string word) {
  for (char& c : word) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return word == "trace" || word == "debug" || word == "info" || word == "fatal";
}

// Options end at the first argument that is not "-" followed by something,
// and after "--". In a cluster, d, l and e take the rest of the cluster or
// else the next argument; h and v are flags; any other letter, and a
// missing argument, asks for the usage text.
Model Scan(const std::vector<std::string>& args) {
  Model model;
  for (std::size_t at = 1; at < args.size(); ++at) {
    const std::string& arg = args[at];
    if (arg.size() < 2 || arg[0] != '-' || arg == "--") break;
    for (std::size_t letter = 1; letter < arg.size(); ++letter) {
      const char option = arg[letter];
      if (option == 'h' || option == 'v') {
        (option == 'h' ? model.showUsage : model.showVersion) = true;
        continue;
      }
      if (option != 'd' && option != 'l' && option != 'e') {
        model.showUsage = true;
        continue;
      }
      std::string value;
      if (letter + 1 < arg.size()) {
        value = arg.substr(letter + 1);
      } else if (at + 1 < args.size()) {
        value = args[++at];
      } else {
        model.showUsage = true;
        break;
      }
      if (option == 'd') model.dbPath = value;
      if (option == 'l') model.logPath = value;
      if (option == 'e' && !IsLevel(value)) {
        model.badLevel = value;
        return model;
      }
      break;
    }
  }
  if (model.dbPath.empty()) model.showUsage = true;
  return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args{"veltrix"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (size > 0) args.push_back(current);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const Model model = Scan(args);
  std::cerr.setstate(std::ios::badbit);  // the usage text is not what is checked here
  try {
    const qz::evmon::ProgramOptions options =
        qz::evmon::ParseOptions(static_cast<int>(args.size()), argv.data());
    Require(!model.badLevel);
    Require(options.dbPath == model.dbPath && options.logPath == model.logPath);
    Require(options.showUsage == model.showUsage && options.showVersion == model.showVersion);
  } catch (const std::invalid_argument& error) {
    Require(model.badLevel && error.what() == "Invalid loglevel: " + *model.badLevel);
  }
  return 0;
}

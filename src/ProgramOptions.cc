#include "ProgramOptions.h"

#include <cctype>
#include <iostream>
#include <stdexcept>

#include "OptionScanner.h"

namespace qz::evmon {

const char* Usage() {
  return "Usage: veltrix [OPTS]\n"
         "veltrix options:\n"
         "\t-d  arg     path to LevelDB dir (required)\n"
         "\t-l  arg     path to logfile\n"
         "\t-e  arg     loglevel (trace, debug, info, fatal)\n"
         "\t-h          show help and exit\n"
         "\t-v          show version and exit\n";
}

ProgramOptions ParseOptions(int argc, char* argv[]) {
  ProgramOptions options;
  optind = 0;
  for (int option; (option = getopt(argc, argv, "d:hvl:e:")) != -1;) {
    switch (option) {
      case 'd':
        options.dbPath = optarg;
        break;
      case 'l':
        options.logPath = optarg;
        break;
      case 'e':
        options.logLevel = ParseLogLevel(optarg);
        break;
      case 'v':
        options.showVersion = true;
        break;
      default:
        options.showUsage = true;
        break;
    }
  }
  if (options.dbPath.empty() && !options.showUsage) {
    std::cerr << "Error: path to LevelDB dir is not specified\n";
    options.showUsage = true;
  }
  if (options.showUsage) {
    std::cerr << Usage();
  }
  return options;
}

std::int32_t ParseLogLevel(const std::string& text) {
  std::string word;
  word.reserve(text.size());
  for (const char c : text) {
    word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (word == "trace") return kOptionLevelTrace;
  if (word == "debug") return kOptionLevelDebug;
  if (word == "info") return kOptionLevelInfo;
  if (word == "fatal") return kOptionLevelFatal;
  throw std::invalid_argument("Invalid loglevel: " + text);
}

Level ToLoggerLevel(std::int32_t code) {
  switch (code) {
    case kOptionLevelTrace:
      return Level::Trace;
    case kOptionLevelDebug:
      return Level::Debug;
    case kOptionLevelFatal:
      return Level::Fatal;
    default:
      return Level::Info;
  }
}

}  // namespace qz::evmon

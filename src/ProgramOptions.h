// The command line of veltrix: its options, their parsing and the usage text.

#ifndef QZ_EVMON_PROGRAM_OPTIONS_H_
#define QZ_EVMON_PROGRAM_OPTIONS_H_

#include <cstdint>
#include <string>

#include "Logger.h"

namespace qz::evmon {

// The level codes of the -e option. They are not Logger levels: ToLoggerLevel
// maps them.
constexpr std::int32_t kOptionLevelTrace = 0;
constexpr std::int32_t kOptionLevelDebug = 1;
constexpr std::int32_t kOptionLevelInfo = 2;
constexpr std::int32_t kOptionLevelFatal = 3;

struct ProgramOptions {
  std::string dbPath;                        // -d: the database directory
  std::string logPath;                       // -l: the log file; empty means no log
  std::int32_t logLevel = kOptionLevelInfo;  // -e
  bool showUsage = false;                    // -h, a rejected option, or no -d
  bool showVersion = false;                  // -v
};

// The usage text, seven lines each ending in a newline.
const char* Usage();

// Scans the arguments with the option string "d:hvl:e:", up to the first
// operand or "--". The last -d and the last -l win. When -d is missing (and no usage was asked
// for), it writes "Error: path to LevelDB dir is not specified\n" to standard error; whenever
// showUsage ends up set, it writes the usage text there, once. Throws the std::invalid_argument of
// ParseLogLevel at the first bad -e word, scanning nothing after it and writing no usage.
ProgramOptions ParseOptions(int argc, char* argv[]);

// Maps "trace", "debug", "info" and "fatal", in any case, to their level
// codes. Throws std::invalid_argument("Invalid loglevel: " + text) for any
// other word.
std::int32_t ParseLogLevel(const std::string& text);

// Trace, Debug and Fatal for their codes; Info for every other code.
Level ToLoggerLevel(std::int32_t code);

}  // namespace qz::evmon

#endif  // QZ_EVMON_PROGRAM_OPTIONS_H_

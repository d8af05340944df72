#include "ProgramOptions.h"

#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace qz::evmon {
namespace {

// The text itself is checked byte for byte where users see it, by the
// process tests (tests/veltrix/test_command_line.py); here it is only
// whether and when it is written.
const std::string kUsage = Usage();
const std::string kMissing = "Error: path to LevelDB dir is not specified\n";

// Runs ParseOptions over "veltrix" + `args` and describes the options as
// "dbPath|logPath|logLevel|flags" (u: showUsage, v: showVersion); whatever it
// writes to standard error goes to `errors`.
std::string Parse(std::vector<std::string> args, std::string& errors) {
  args.insert(args.begin(), "veltrix");
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);

  std::ostringstream captured;
  std::streambuf* const original = std::cerr.rdbuf(captured.rdbuf());
  try {
    const ProgramOptions options = ParseOptions(static_cast<int>(args.size()), argv.data());
    std::cerr.rdbuf(original);
    errors = captured.str();
    return options.dbPath + "|" + options.logPath + "|" + std::to_string(options.logLevel) + "|" +
           (options.showUsage ? "u" : "") + (options.showVersion ? "v" : "");
  } catch (...) {
    std::cerr.rdbuf(original);
    errors = captured.str();
    throw;
  }
}

struct ParseCase {
  std::vector<std::string> args;
  std::string options;
  std::string errors;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.args); }

class ParseOptionsTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseOptionsTest, Parses) {
  std::string errors;
  EXPECT_EQ(Parse(GetParam().args, errors), GetParam().options);
  EXPECT_EQ(errors, GetParam().errors);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ParseOptionsTest,
    ::testing::Values(ParseCase{{}, "||2|u", kMissing + kUsage},
                      ParseCase{{"-d", "DIR", "-l", "LOG", "-e", "debug"}, "DIR|LOG|1|", ""},
                      ParseCase{{"-dDIR", "-lLOG", "-eTRACE"}, "DIR|LOG|0|", ""},
                      ParseCase{{"-vdDIR", "-e", "Info"}, "DIR||2|v", ""},
                      ParseCase{{"-vd", "DIR", "-e", "debug", "-e", "fatal"}, "DIR||3|v", ""},
                      ParseCase{{"-d", "A", "-l", "X", "-dB", "-l", "Y"}, "B|Y|2|", ""},
                      ParseCase{{"-d", "-l"}, "-l||2|", ""},
                      ParseCase{{"-vh", "-d", "DIR"}, "DIR||2|uv", kUsage},
                      ParseCase{{"-x", "-d", "DIR"}, "DIR||2|u", kUsage},
                      ParseCase{{"--d", "DIR"}, "DIR||2|u", kUsage},
                      ParseCase{{"-:", "-d", "DIR"}, "DIR||2|u", kUsage},
                      ParseCase{{"-d"}, "||2|u", kUsage},
                      ParseCase{{"-d", ""}, "||2|u", kMissing + kUsage},
                      ParseCase{{"-v"}, "||2|uv", kMissing + kUsage},
                      ParseCase{{"DIR", "-d", "x"}, "||2|u", kMissing + kUsage},
                      ParseCase{{"-v", "-", "-d", "x"}, "||2|uv", kMissing + kUsage},
                      ParseCase{{"--", "-d", "x"}, "||2|u", kMissing + kUsage},
                      // Parsing starts over at each call.
                      ParseCase{{"-d", "again"}, "again||2|", ""}));

TEST(ParseOptionsTest, BadLevelWordStopsParsingWithoutUsage) {
  for (const auto& args : {std::vector<std::string>{"-e", "warn", "-h"}, {"-x", "-e", "warn"}}) {
    std::string errors;
    try {
      Parse(args, errors);
      ADD_FAILURE() << "accepted -e warn";
    } catch (const std::invalid_argument& error) {
      EXPECT_STREQ(error.what(), "Invalid loglevel: warn");
    }
    EXPECT_EQ(errors, "");
  }
}

TEST(ParseLogLevelTest, AcceptsFourWordsInAnyCase) {
  EXPECT_EQ(ToLoggerLevel(ParseLogLevel("trace")), Level::Trace);
  EXPECT_EQ(ToLoggerLevel(ParseLogLevel("DEBUG")), Level::Debug);
  EXPECT_EQ(ToLoggerLevel(ParseLogLevel("Info")), Level::Info);
  EXPECT_EQ(ToLoggerLevel(ParseLogLevel("fAtAl")), Level::Fatal);
  EXPECT_EQ(ParseLogLevel("iNFO"), 2);
  EXPECT_EQ(ToLoggerLevel(7), Level::Info);

  for (const std::string word : {"warn", "Error", "", "info ", "inf", "fatal2"}) {
    try {
      ParseLogLevel(word);
      ADD_FAILURE() << "accepted " << word;
    } catch (const std::invalid_argument& error) {
      EXPECT_EQ(error.what(), "Invalid loglevel: " + word);
    }
  }
}

}  // namespace
}  // namespace qz::evmon

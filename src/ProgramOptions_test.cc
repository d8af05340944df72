#include "ProgramOptions.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

using test::CapturedCerr;
using test::CommandLine;

const std::string kUsage =
    std::string("Usage: veltrix [OPTS]\n") +
    "veltrix options:\n" +
    "\t-d  arg     path to LevelDB dir (required)\n" +
    "\t-l  arg     path to logfile\n" +
    "\t-e  arg     loglevel (trace, debug, info, fatal)\n" +
    "\t-h          show help and exit\n" +
    "\t-v          show version and exit\n";
const std::string kMissingDir = "Error: path to LevelDB dir is not specified\n";

struct ParseCase {
  std::vector<std::string> args;
  std::string dbPath;
  std::string logPath;
  std::int32_t logLevel;
  bool showUsage;
  bool showVersion;
  std::string stderrText;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.args); }

class ParseOptionsTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseOptionsTest, Parses) {
  const ParseCase& expected = GetParam();
  CommandLine line(expected.args);
  CapturedCerr cerr;
  const ProgramOptions options = ParseOptions(line.Argc(), line.Argv());
  EXPECT_EQ(options.dbPath, expected.dbPath);
  EXPECT_EQ(options.logPath, expected.logPath);
  EXPECT_EQ(options.logLevel, expected.logLevel);
  EXPECT_EQ(options.showUsage, expected.showUsage);
  EXPECT_EQ(options.showVersion, expected.showVersion);
  EXPECT_EQ(cerr.Text(), expected.stderrText);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ParseOptionsTest,
    ::testing::Values(
        ParseCase{{}, "", "", 2, true, false, kMissingDir + kUsage},
        ParseCase{{"-d", "DIR"}, "DIR", "", 2, false, false, ""},
        ParseCase{{"-dDIR", "-lLOG", "-eTRACE"}, "DIR", "LOG", 0, false, false, ""},
        ParseCase{{"-d", "DIR", "-e", "Info"}, "DIR", "", 2, false, false, ""},
        ParseCase{{"-d", "DIR", "-e", "debug", "-e", "fatal"}, "DIR", "", 3, false, false, ""},
        ParseCase{{"-d", "A", "-l", "X", "-dB", "-l", "Y"}, "B", "Y", 2, false, false, ""},
        ParseCase{{"-d", "-l"}, "-l", "", 2, false, false, ""},
        ParseCase{{"-h", "-d", "DIR"}, "DIR", "", 2, true, false, kUsage},
        ParseCase{{"-x", "-d", "DIR"}, "DIR", "", 2, true, false, kUsage},
        ParseCase{{"-d"}, "", "", 2, true, false, kUsage},
        ParseCase{{"-d", ""}, "", "", 2, true, false, kMissingDir + kUsage},
        ParseCase{{"-v"}, "", "", 2, true, true, kMissingDir + kUsage},
        ParseCase{{"-v", "-d", "DIR"}, "DIR", "", 2, false, true, ""},
        ParseCase{{"-vh", "-d", "DIR"}, "DIR", "", 2, true, true, kUsage},
        ParseCase{{"DIR", "-d", "x"}, "", "", 2, true, false, kMissingDir + kUsage},
        ParseCase{{"--", "-d", "x"}, "", "", 2, true, false, kMissingDir + kUsage}));

TEST(ParseOptionsTest, BadLevelWordStopsParsingWithoutUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-e", "warn", "-h"}, {"-x", "-e", "warn"}}) {
    CommandLine line(args);
    CapturedCerr cerr;
    try {
      ParseOptions(line.Argc(), line.Argv());
      ADD_FAILURE() << "accepted -e warn";
    } catch (const std::invalid_argument& error) {
      EXPECT_STREQ(error.what(), "Invalid loglevel: warn");
    }
    EXPECT_EQ(cerr.Text(), "");
  }
}

TEST(ParseOptionsTest, RestartsScanningOnEachCall) {
  CapturedCerr cerr;
  CommandLine first({"-d", "A"});
  ParseOptions(first.Argc(), first.Argv());
  CommandLine second({"-d", "B"});
  EXPECT_EQ(ParseOptions(second.Argc(), second.Argv()).dbPath, "B");
}

struct LevelWordCase {
  std::string word;
  std::int32_t code;
  Level level;
};

void PrintTo(const LevelWordCase& c, std::ostream* os) { *os << c.word; }

class ParseLogLevelTest : public ::testing::TestWithParam<LevelWordCase> {};

TEST_P(ParseLogLevelTest, AcceptsWordInAnyCase) {
  EXPECT_EQ(ParseLogLevel(GetParam().word), GetParam().code);
  EXPECT_EQ(ToLoggerLevel(GetParam().code), GetParam().level);
}

INSTANTIATE_TEST_SUITE_P(Words, ParseLogLevelTest,
                         ::testing::Values(LevelWordCase{"trace", 0, Level::Trace},
                                           LevelWordCase{"TRACE", 0, Level::Trace},
                                           LevelWordCase{"Debug", 1, Level::Debug},
                                           LevelWordCase{"info", 2, Level::Info},
                                           LevelWordCase{"iNFO", 2, Level::Info},
                                           LevelWordCase{"FaTaL", 3, Level::Fatal}));

class RejectedLogLevelTest : public ::testing::TestWithParam<std::string> {};

TEST_P(RejectedLogLevelTest, ThrowsWithWordAsGiven) {
  try {
    ParseLogLevel(GetParam());
    ADD_FAILURE() << "accepted " << GetParam();
  } catch (const std::invalid_argument& error) {
    EXPECT_EQ(error.what(), "Invalid loglevel: " + GetParam());
  }
}

INSTANTIATE_TEST_SUITE_P(Words, RejectedLogLevelTest,
                         ::testing::Values("warn", "WARN", "error", "", "info ", "inf", "fatal2"));

TEST(ToLoggerLevelTest, UnknownCodesGiveInfo) {
  EXPECT_EQ(ToLoggerLevel(4), Level::Info);
  EXPECT_EQ(ToLoggerLevel(-1), Level::Info);
}

}  // namespace
}  // namespace qz::evmon

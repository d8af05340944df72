#include "Logger.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

using test::RecordingLogger;

struct ThresholdCase {
  Level threshold;
  Level message;
  bool written;
};

void PrintTo(const ThresholdCase& c, std::ostream* os) {
  *os << "threshold " << static_cast<int>(c.threshold) << " message "
      << static_cast<int>(c.message);
}

class LoggerThresholdTest : public ::testing::TestWithParam<ThresholdCase> {};

TEST_P(LoggerThresholdTest, WritesOnlyAtOrAboveThreshold) {
  RecordingLogger logger(GetParam().threshold);
  LOG(GetParam().message, "message");
  EXPECT_EQ(logger.texts.size(), GetParam().written ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Levels, LoggerThresholdTest,
                         ::testing::Values(ThresholdCase{Level::Info, Level::Warn, false},
                                           ThresholdCase{Level::Info, Level::Info, true},
                                           ThresholdCase{Level::Info, Level::Error, true},
                                           ThresholdCase{Level::Info, Level::Debug, false},
                                           ThresholdCase{Level::Trace, Level::Trace, true},
                                           ThresholdCase{Level::Debug, Level::Trace, false},
                                           ThresholdCase{Level::Debug, Level::Warn, true},
                                           ThresholdCase{Level::Fatal, Level::Error, false},
                                           ThresholdCase{Level::Fatal, Level::Fatal, true}));

int evaluations = 0;
int CountedPiece() { return ++evaluations; }

TEST(LoggerTest, SilentStatementEvaluatesNothing) {
  LOG(Level::Fatal, CountedPiece());
  {
    RecordingLogger logger(Level::Error);
    LOG(Level::Info, CountedPiece());
  }
  EXPECT_EQ(evaluations, 0);

  RecordingLogger logger(Level::Error);
  LogStream().setstate(std::ios::badbit);  // a failed earlier message must not stick
  LOG(Level::Error, "piece ", CountedPiece(), ' ', 2.5);
  LOG(Level::Error, "next");
  EXPECT_EQ(evaluations, 1);
  EXPECT_EQ(logger.texts, (std::vector<std::string>{"piece 1 2.5", "next"}));
}

TEST(FileLoggerTest, WritesMessageTextAloneOneLineEachFromInfoOn) {
  test::TestDirectory dir;
  const std::string path = dir.Path("run.log");
  test::WriteFile(path, "old content that must go\n");
  {
    FileLogger logger("veltrix", path);
    SetGlobalLogger(&logger);
    LOG(Level::Info, "Database ", "db", " successfully opened");
    LOG(Level::Warn, "not admitted by default");
    LOG(Level::Fatal, "two\nlines");
    ResetGlobalLogger();
  }
  EXPECT_EQ(test::ReadFile(path), "Database db successfully opened\ntwo\nlines\n");
  { FileLogger logger("veltrix", path); }
  EXPECT_EQ(test::ReadFile(path), "");
}

TEST(FileLoggerTest, UnopenablePathThrowsWithPath) {
  test::TestDirectory dir;
  for (const std::string& path : {dir.Path("missing/run.log"), dir.root}) {
    try {
      FileLogger logger("veltrix", path);
      ADD_FAILURE() << "opened " << path;
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(error.what(), "Error open file: " + path);
    }
  }
}

}  // namespace
}  // namespace qz::evmon

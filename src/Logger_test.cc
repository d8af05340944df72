#include "Logger.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

using test::ReadFile;
using test::RecordingLogger;
using test::TestDirectory;

struct ThresholdCase {
  Level threshold;
  Level message;
  bool written;
};

void PrintTo(const ThresholdCase& c, std::ostream* os) {
  *os << "threshold " << static_cast<int>(c.threshold) << " message " << static_cast<int>(c.message);
}

class LoggerThresholdTest : public ::testing::TestWithParam<ThresholdCase> {};

TEST_P(LoggerThresholdTest, WritesOnlyAtOrAboveThreshold) {
  RecordingLogger logger(GetParam().threshold);
  LOG(GetParam().message, "message");
  EXPECT_EQ(logger.Messages().size(), GetParam().written ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Levels, LoggerThresholdTest,
                         ::testing::Values(ThresholdCase{Level::Info, Level::Warn, false},
                                           ThresholdCase{Level::Info, Level::Info, true},
                                           ThresholdCase{Level::Info, Level::Error, true},
                                           ThresholdCase{Level::Info, Level::Debug, false},
                                           ThresholdCase{Level::Trace, Level::Trace, true},
                                           ThresholdCase{Level::Debug, Level::Trace, false},
                                           ThresholdCase{Level::Debug, Level::Warn, true},
                                           ThresholdCase{Level::Warn, Level::Info, true},
                                           ThresholdCase{Level::Fatal, Level::Error, false},
                                           ThresholdCase{Level::Fatal, Level::Fatal, true}));

TEST(LoggerTest, ThresholdStartsAtInfo) {
  TestDirectory dir;
  FileLogger logger("veltrix", dir.Path("run.log"));
  EXPECT_FALSE(logger.Admits(Level::Warn));
  EXPECT_TRUE(logger.Admits(Level::Info));
}

int evaluations = 0;
int CountedPiece() { return ++evaluations; }

TEST(LoggerTest, SilentStatementEvaluatesNothing) {
  evaluations = 0;
  LOG(Level::Fatal, CountedPiece());
  {
    RecordingLogger logger(Level::Error);
    LOG(Level::Info, CountedPiece());
  }
  EXPECT_EQ(evaluations, 0);

  RecordingLogger logger(Level::Error);
  LOG(Level::Error, "piece ", CountedPiece(), ' ', 2.5);
  EXPECT_EQ(evaluations, 1);
  ASSERT_EQ(logger.Messages().size(), 1u);
  EXPECT_EQ(logger.Messages()[0].text, "piece 1 2.5");
  EXPECT_EQ(logger.Messages()[0].level, Level::Error);
}

void LogFromNamedFunction() { LOG(Level::Info, "from a function"); }

TEST(LoggerTest, PassesEnclosingFunctionName) {
  RecordingLogger logger;
  LogFromNamedFunction();
  ASSERT_EQ(logger.Messages().size(), 1u);
  EXPECT_EQ(logger.Messages()[0].function, "LogFromNamedFunction");
}

TEST(LoggerTest, ReusedStreamStartsEmptyForEachMessage) {
  RecordingLogger logger;
  LogStream().setstate(std::ios::badbit);
  LOG(Level::Info, "first");
  LOG(Level::Info, "second");
  EXPECT_EQ(logger.Texts(), (std::vector<std::string>{"first", "second"}));
}

TEST(FileLoggerTest, WritesMessageTextAloneOneLineEach) {
  TestDirectory dir;
  const std::string path = dir.Path("run.log");
  test::WriteFile(path, "old content that must go\n");
  {
    FileLogger logger("veltrix", path);
    SetGlobalLogger(&logger);
    LOG(Level::Info, "Database ", "db", " successfully opened");
    LOG(Level::Warn, "not admitted at Info");
    LOG(Level::Fatal, "two\nlines");
    ResetGlobalLogger();
  }
  EXPECT_EQ(ReadFile(path), "Database db successfully opened\ntwo\nlines\n");
}

TEST(FileLoggerTest, EmptiesExistingFileEvenWhenNothingIsLogged) {
  TestDirectory dir;
  const std::string path = dir.Path("run.log");
  test::WriteFile(path, "old");
  { FileLogger logger("veltrix", path); }
  EXPECT_EQ(ReadFile(path), "");
}

TEST(FileLoggerTest, UnopenablePathThrowsWithPath) {
  TestDirectory dir;
  for (const std::string& path : {dir.Path("missing/run.log"), dir.Root()}) {
    try {
      FileLogger logger("veltrix", path);
      ADD_FAILURE() << "opened " << path;
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), ("Error open file: " + path).c_str());
    }
  }
}

}  // namespace
}  // namespace qz::evmon

#include "OptionScanner.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

struct ScanCase {
  std::vector<std::string> args;  // after the program name
  // What each call returned, space-separated: the letter (with "=optarg"
  // when set), "?" for a rejection, "end" (with "=optarg") for -1; then
  // "@optind".
  std::string expected;
};

// Scans `args` with veltrix's option string and describes the results.
std::string Scan(const std::vector<std::string>& args) {
  test::CommandLine line(args);
  std::string trace;
  optind = 0;
  for (;;) {
    const int result = getopt(line.Argc(), line.Argv(), "d:hvl:e:");
    trace += result == -1 ? std::string("end") : std::string(1, static_cast<char>(result));
    if (optarg != nullptr) {
      trace += "=" + std::string(optarg);
    }
    trace += " ";
    if (result == -1) {
      return trace + "@" + std::to_string(optind);
    }
  }
}

void PrintTo(const ScanCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.args); }

class OptionScannerTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(OptionScannerTest, Scans) { EXPECT_EQ(Scan(GetParam().args), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionScannerTest,
    ::testing::Values(
        ScanCase{{}, "end @1"},
        ScanCase{{"-d", "DIR"}, "d=DIR end @3"},
        ScanCase{{"-dDIR"}, "d=DIR end @2"},
        ScanCase{{"-vh"}, "v h end @2"},
        ScanCase{{"-vdDIR", "-e", "info"}, "v d=DIR e=info end @4"},
        ScanCase{{"-vd", "DIR"}, "v d=DIR end @3"},
        ScanCase{{"-d", "-l"}, "d=-l end @3"},
        ScanCase{{"-d"}, "? end @2"},
        ScanCase{{"-v", "-d"}, "v ? end @3"},
        ScanCase{{"-x", "-d", "DIR"}, "? d=DIR end @4"},
        ScanCase{{"-:"}, "? end @2"},
        ScanCase{{"--d", "DIR"}, "? d=DIR end @3"},
        ScanCase{{"DIR", "-d", "x"}, "end=DIR @1"},
        ScanCase{{"-v", "DIR", "-h"}, "v end=DIR @2"},
        ScanCase{{"--", "-d", "x"}, "end=-d @2"},
        ScanCase{{"-v", "--"}, "v end @3"},
        ScanCase{{"-", "-v"}, "end=- @1"}));

}  // namespace
}  // namespace qz::evmon

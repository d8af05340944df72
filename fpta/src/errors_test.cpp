#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "fpta.h"

namespace {

struct ErrorText {
  int code;
  const char* text;
};

class StatusText : public ::testing::TestWithParam<ErrorText> {};

TEST_P(StatusText, IsWordedExactly) {
  EXPECT_STREQ(fpta_strerror(GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, StatusText,
    ::testing::Values(ErrorText{FPTA_SUCCESS, "Success"},
                      ErrorText{FPTA_NODATA, "No data: the end of the data, or none to begin with"},
                      ErrorText{FPTA_NOTFOUND, "Not found: no such key, row or column"},
                      ErrorText{FPTU_ENOSPACE, "The tuple has no room left for the field"},
                      ErrorText{FPTU_ETOOLONG, "The value is longer than a field may be"},
                      ErrorText{FPTA_ETOOMANY,
                                "Too many tables, columns or composite index parts"}));

// errno values, those the engine names (FPTA_EINVAL, FPTA_EEXIST, FPTA_ENOIMP)
// among them, and numbers nobody names read as the C library words them.
class SystemText : public ::testing::TestWithParam<int> {};

TEST_P(SystemText, IsTheCLibrarys) {
  const int code = GetParam();
  EXPECT_EQ(std::string(fpta_strerror(code)), std::string(std::strerror(code)));
}

INSTANTIATE_TEST_SUITE_P(Codes, SystemText,
                         ::testing::Values(FPTA_EINVAL, FPTA_EEXIST, FPTA_ENOIMP, ENOMEM, 123456,
                                           -2, INT32_MIN));

TEST(StatusText, OwnCodesLieAboveEveryErrnoValue) {
  for (const int code : {FPTU_ENOSPACE, FPTU_ETOOLONG, FPTA_ETOOMANY}) EXPECT_GT(code, 4095);
  EXPECT_EQ(FPTA_ENOIMP, ENOSYS);
}

}  // namespace

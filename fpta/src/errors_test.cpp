#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "fpta.h"

namespace {

struct ErrorText {
  int code;
  const char *text;
};

class StatusText : public ::testing::TestWithParam<ErrorText> {};

TEST_P(StatusText, IsWordedExactly) { EXPECT_STREQ(fpta_strerror(GetParam().code), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Codes, StatusText,
    ::testing::Values(ErrorText{FPTA_SUCCESS, "Success"},
                      ErrorText{FPTA_NODATA, "No data: the end of the data, or none to begin with"},
                      ErrorText{FPTA_NOTFOUND, "Not found: no such key, row or column"},
                      ErrorText{FPTA_EINVAL, "Invalid argument"}, ErrorText{FPTA_EEXIST, "File exists"},
                      ErrorText{FPTA_ENOIMP, "Function not implemented"},
                      ErrorText{FPTU_ENOSPACE, "The tuple has no room left for the field"},
                      ErrorText{FPTU_ETOOLONG, "The value is longer than a field may be"},
                      ErrorText{FPTA_ETOOMANY, "Too many tables, columns or composite index parts"},
                      ErrorText{ENOMEM, "Cannot allocate memory"}, ErrorText{123456, "Unknown error 123456"},
                      ErrorText{-2, "Unknown error -2"}, ErrorText{INT32_MIN, "Unknown error -2147483648"}));

TEST(StatusText, OwnCodesLieAboveEveryErrnoValue) {
  for (const int code : {FPTU_ENOSPACE, FPTU_ETOOLONG, FPTA_ETOOMANY}) EXPECT_GT(code, 4095);
  EXPECT_EQ(FPTA_ENOIMP, ENOSYS);
}

}  // namespace

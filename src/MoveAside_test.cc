#include "MoveAside.h"

#include <stdexcept>
#include <string>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

using test::FilesIn;
using test::NamesIn;

constexpr std::time_t kMarch5th060708Utc = 1709618828;

class MoveAsideTest : public ::testing::Test {
 protected:
  void SetUp() override {
    boost::filesystem::create_directory(dir.Path("db"));
    test::WriteFile(dir.Path("db/CURRENT"), "MANIFEST-000002");
    test::WriteFile(dir.Path("db/000003.log"), std::string("\0\1data", 6));
  }

  test::TestDirectory dir;
};

TEST_F(MoveAsideTest, RenamesToUtcStampedSiblingWithContent) {
  const auto files = FilesIn(dir.Path("db"));
  const std::string aside = MoveAside(dir.Path("db"), kMarch5th060708Utc);
  EXPECT_EQ(aside, dir.Path("db.corrupt-20240305T060708Z"));
  EXPECT_EQ(NamesIn(dir.Root()), std::vector<std::string>{"db.corrupt-20240305T060708Z"});
  EXPECT_EQ(FilesIn(aside), files);
}

TEST_F(MoveAsideTest, IgnoresTrailingSlashes) {
  EXPECT_EQ(MoveAside(dir.Path("db//"), kMarch5th060708Utc),
            dir.Path("db.corrupt-20240305T060708Z"));
}

TEST_F(MoveAsideTest, NumbersNameWhenTaken) {
  boost::filesystem::create_directory(dir.Path("db.corrupt-20240305T060708Z"));
  test::WriteFile(dir.Path("db.corrupt-20240305T060708Z-1"), "a file takes the name too");
  boost::filesystem::create_symlink("nowhere", dir.Path("db.corrupt-20240305T060708Z-2"));

  EXPECT_EQ(MoveAside(dir.Path("db"), kMarch5th060708Utc),
            dir.Path("db.corrupt-20240305T060708Z-3"));
  EXPECT_TRUE(NamesIn(dir.Path("db.corrupt-20240305T060708Z")).empty());
}

TEST_F(MoveAsideTest, FailedRenameThrowsAndChangesNothing) {
  // The stamped sibling of a name this long exceeds the file name limit.
  const std::string longName = dir.Path(std::string(240, 'x'));
  boost::filesystem::rename(dir.Path("db"), longName);
  const auto files = FilesIn(longName);

  EXPECT_THROW(MoveAside(longName, kMarch5th060708Utc), std::runtime_error);
  EXPECT_EQ(NamesIn(dir.Root()), std::vector<std::string>{std::string(240, 'x')});
  EXPECT_EQ(FilesIn(longName), files);
}

TEST_F(MoveAsideTest, MissingDirectoryThrows) {
  try {
    MoveAside(dir.Path("absent"), kMarch5th060708Utc);
    ADD_FAILURE() << "moved a missing directory";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace qz::evmon

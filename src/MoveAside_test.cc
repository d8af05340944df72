#include "MoveAside.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

using Entries = std::map<std::string, std::string>;

constexpr std::time_t kMarch5th060708Utc = 1709618828;

TEST(MoveAsideTest, RenamesToFreeUtcStampedSibling) {
  test::TestDirectory dir;
  boost::filesystem::create_directory(dir.Path("db"));
  test::WriteFile(dir.Path("db/CURRENT"), std::string("\0\1data", 6));
  EXPECT_EQ(MoveAside(dir.Path("db//"), kMarch5th060708Utc),
            dir.Path("db.corrupt-20240305T060708Z"));

  // Taken names, by a directory, a file, or a link to nowhere, are skipped.
  boost::filesystem::create_directory(dir.Path("db"));
  test::WriteFile(dir.Path("db.corrupt-20240305T060708Z-1"), "");
  boost::filesystem::create_symlink("nowhere", dir.Path("db.corrupt-20240305T060708Z-2"));
  EXPECT_EQ(MoveAside(dir.Path("db"), kMarch5th060708Utc),
            dir.Path("db.corrupt-20240305T060708Z-3"));

  EXPECT_EQ(test::EntriesIn(dir.Path("db.corrupt-20240305T060708Z")),
            (Entries{{"CURRENT", std::string("\0\1data", 6)}}));
  EXPECT_FALSE(boost::filesystem::exists(dir.Path("db")));
}

}  // namespace
}  // namespace qz::evmon

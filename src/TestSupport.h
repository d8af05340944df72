// Helpers shared by the unit tests: scratch directories, whole files and a
// logger that records what it is given.

#ifndef QZ_EVMON_TEST_SUPPORT_H_
#define QZ_EVMON_TEST_SUPPORT_H_

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "Logger.h"

namespace qz::evmon::test {

// A fresh directory, removed with all its content at the end of the test.
class TestDirectory {
 public:
  TestDirectory() { boost::filesystem::create_directory(root); }
  ~TestDirectory() {
    boost::system::error_code ignored;
    boost::filesystem::remove_all(root, ignored);
  }
  std::string Path(const std::string& name) const { return root + "/" + name; }

  const std::string root = (boost::filesystem::temp_directory_path() /
                            boost::filesystem::unique_path("veltrix-test-%%%%-%%%%-%%%%"))
                               .string();
};

inline std::string ReadFile(const std::string& path) {
  std::ostringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// The entries directly inside `dir`, sorted by name, each with its content
// ("<dir>" for a directory).
inline std::map<std::string, std::string> EntriesIn(const std::string& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : boost::filesystem::directory_iterator(dir)) {
    entries[entry.path().filename().string()] =
        is_directory(entry.status()) ? "<dir>" : ReadFile(entry.path().string());
  }
  return entries;
}

// Records every message and is the installed logger while it lives.
class RecordingLogger : public Logger {
 public:
  explicit RecordingLogger(Level threshold = Level::Info) : Logger("test") {
    SetLevel(threshold);
    SetGlobalLogger(this);
  }
  ~RecordingLogger() override { ResetGlobalLogger(); }

  void Write(Level level, const char*, const char* function, int,
             const std::string& message) override {
    texts.push_back(message);
    levels.push_back(level);
    functions.push_back(function);
  }

  std::vector<std::string> texts;
  std::vector<Level> levels;
  std::vector<std::string> functions;
};

}  // namespace qz::evmon::test

#endif  // QZ_EVMON_TEST_SUPPORT_H_

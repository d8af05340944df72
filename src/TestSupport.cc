#include "TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <utility>

#include <boost/filesystem.hpp>

namespace qz::evmon::test {

namespace fs = boost::filesystem;

TestDirectory::TestDirectory() {
  std::string pattern = (fs::temp_directory_path() / "veltrix-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a scratch directory at " + pattern);
  }
  root = pattern;
}

TestDirectory::~TestDirectory() {
  boost::system::error_code ignored;
  fs::remove_all(root, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) {
    throw std::runtime_error("cannot read " + path);
  }
  std::ostringstream content;
  content << stream.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream << content;
  if (!stream) {
    throw std::runtime_error("cannot write " + path);
  }
}

std::map<std::string, std::string> FilesIn(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (fs::is_regular_file(entry.status())) {
      files[entry.path().filename().string()] = ReadFile(entry.path().string());
    }
  }
  return files;
}

std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

CommandLine::CommandLine(std::vector<std::string> args) : args(std::move(args)) {
  this->args.insert(this->args.begin(), "veltrix");
  for (std::string& arg : this->args) {
    pointers.push_back(arg.data());
  }
  pointers.push_back(nullptr);
}

CapturedCerr::CapturedCerr() : original(std::cerr.rdbuf(captured.rdbuf())) {}

CapturedCerr::~CapturedCerr() { std::cerr.rdbuf(original); }

RecordingLogger::RecordingLogger(Level threshold) : Logger("test") {
  SetLevel(threshold);
  SetGlobalLogger(this);
}

RecordingLogger::~RecordingLogger() { ResetGlobalLogger(); }

void RecordingLogger::Write(Level level, const char*, const char* function, int,
                            const std::string& message) {
  messages.push_back({level, function, message});
}

std::vector<std::string> RecordingLogger::Texts() const {
  std::vector<std::string> texts;
  for (const LoggedMessage& message : messages) {
    texts.push_back(message.text);
  }
  return texts;
}

}  // namespace qz::evmon::test

#include "Logger.h"

#include <stdexcept>
#include <utility>

namespace qz::evmon {

namespace {
Logger* globalLogger = nullptr;
}  // namespace

Logger::Logger(std::string name) : name(std::move(name)), level(Level::Info) {}

FileLogger::FileLogger(const std::string& name, const std::string& path)
    : Logger(name), stream(path, std::ios::out) {
  if (!stream.is_open()) {
    throw std::runtime_error("Error open file: " + path);
  }
}

void FileLogger::Write(Level, const char*, const char*, int, const std::string& message) {
  stream << message << std::endl;
}

void SetGlobalLogger(Logger* logger) { globalLogger = logger; }

void ResetGlobalLogger() { globalLogger = nullptr; }

Logger* GlobalLogger() { return globalLogger; }

std::ostringstream& LogStream() {
  thread_local std::ostringstream stream;
  return stream;
}

}  // namespace qz::evmon

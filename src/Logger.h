// The diagnostic log of veltrix: severities, the abstract sink, the file sink,
// the process-wide slot through which any code reaches the installed sink,
// and the log statement LOG.

#ifndef QZ_EVMON_LOGGER_H_
#define QZ_EVMON_LOGGER_H_

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace qz::evmon {

// Message severities. Warn lies below Info: the threshold test compares
// these values.
enum class Level : std::int32_t {
  Trace = 0,
  Debug = 1,
  Warn = 2,
  Info = 3,
  Error = 4,
  Fatal = 5,
};

// An abstract sink for log messages. A message is written when its level is
// at or above the threshold, which starts at Info.
class Logger {
 public:
  explicit Logger(std::string name);
  virtual ~Logger() = default;

  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // Writes one message. The level and the source location (file, function,
  // line) are supplied by LOG; a sink may ignore them.
  virtual void Write(Level level, const char* file, const char* function, int line,
                     const std::string& message) = 0;

  void SetLevel(Level level) { this->level = level; }

  // True when a message of `level` is to be written.
  bool Admits(Level level) const {
    return static_cast<std::int32_t>(this->level) <= static_cast<std::int32_t>(level);
  }

 protected:
  // The name of the program that owns the log.
  std::string name;

 private:
  Level level;
};

// A sink that writes each message as one line of a file: the message text
// alone, then a newline and a flush. Write errors are not reported: a log
// that cannot be written must not change the program's result.
class FileLogger : public Logger {
 public:
  // Creates the file at `path`, or empties it if it exists, so every run
  // starts a fresh log. Throws std::runtime_error("Error open file: " + path)
  // when the file cannot be opened.
  FileLogger(const std::string& name, const std::string& path);

  void Write(Level level, const char* file, const char* function, int line,
             const std::string& message) override;

 private:
  std::ofstream stream;
};

// The process-wide slot holds a non-owning pointer, initially null. Whoever
// installs a logger keeps owning it and must empty the slot (or make sure no
// log statement runs) before destroying it. None of these functions locks.
void SetGlobalLogger(Logger* logger);
void ResetGlobalLogger();
Logger* GlobalLogger();

// The calling thread's message stream, created on its first use; reused for
// every message of that thread so that formatting does not build a new stream
// each time.
std::ostringstream& LogStream();

// Streams every piece into `stream` with its output operator, in order.
template <typename... Pieces>
void StreamPieces(std::ostream& stream, const Pieces&... pieces) {
  (stream << ... << pieces);
}

}  // namespace qz::evmon

// LOG(level, piece, ...) writes the concatenated pieces to the installed
// logger. When no logger is installed or it does not admit `level`, the
// pieces are not even evaluated: a silent log statement costs one pointer test
// and one comparison.
#define LOG(level, ...)                                                          \
  do {                                                                           \
    ::qz::evmon::Logger* const logLogger = ::qz::evmon::GlobalLogger();          \
    const ::qz::evmon::Level logLevel = (level);                                 \
    if (logLogger != nullptr && logLogger->Admits(logLevel)) {                   \
      std::ostringstream& logStream = ::qz::evmon::LogStream();                  \
      logStream.clear();                                                         \
      logStream.str(std::string());                                              \
      ::qz::evmon::StreamPieces(logStream, __VA_ARGS__);                         \
      logLogger->Write(logLevel, __FILE__, __func__, __LINE__, logStream.str()); \
    }                                                                            \
  } while (false)

#endif  // QZ_EVMON_LOGGER_H_

// The call recorder behind fpta_recorder.h. Every exported function opens with
//   const fpta::CallRecord record(__func__, arg1, arg2, ...);
// which, while recording is on, stores the call's text for the calling thread
// and, when the function returns, applies the configured delay and exit errno.
// While recording is off it costs one relaxed load and two branches per call
// (one on entry, one on return).
#ifndef FPTA_SRC_RECORDER_H
#define FPTA_SRC_RECORDER_H

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <type_traits>

#include "fpta.h"

namespace fpta {

// Stands for the unnamed arguments of a variadic entry point; recorded as "...".
struct Ellipsis {};

namespace recording {

extern std::atomic<bool> enabled;

void AppendSigned(std::string& text, long long value);
void AppendUnsigned(std::string& text, unsigned long long value);
void AppendDouble(std::string& text, double value);
void AppendFloat(std::string& text, float value);
void AppendPointer(std::string& text, const void* pointer);
void AppendValue(std::string& text, const fpta_value& value);
void AppendTuple(std::string& text, const fptu_ro& tuple);
void AppendTime(std::string& text, const fptu_time& time);
void AppendIovec(std::string& text, const iovec& vector);
void AppendEllipsis(std::string& text);

template <typename T>
void AppendArgument(std::string& text, const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    AppendUnsigned(text, value ? 1 : 0);
  } else if constexpr (std::is_enum_v<T>) {
    AppendSigned(text, static_cast<long long>(value));
  } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
    AppendSigned(text, value);
  } else if constexpr (std::is_integral_v<T>) {
    AppendUnsigned(text, value);
  } else if constexpr (std::is_same_v<T, float>) {
    AppendFloat(text, value);
  } else if constexpr (std::is_same_v<T, double>) {
    AppendDouble(text, value);
  } else if constexpr (std::is_pointer_v<T>) {
    AppendPointer(text, reinterpret_cast<const void*>(value));
  } else if constexpr (std::is_same_v<T, fpta_value>) {
    AppendValue(text, value);
  } else if constexpr (std::is_same_v<T, fptu_ro>) {
    AppendTuple(text, value);
  } else if constexpr (std::is_same_v<T, fptu_time>) {
    AppendTime(text, value);
  } else if constexpr (std::is_same_v<T, iovec>) {
    AppendIovec(text, value);
  } else {
    static_assert(std::is_same_v<T, Ellipsis>, "no recorded form for this argument type");
    AppendEllipsis(text);
  }
}

template <typename... Args>
std::string FormatArguments(const Args&... args) {
  std::string text;
  bool first = true;
  ((first ? void(first = false) : void(text.append(", ")), AppendArgument(text, args)), ...);
  return text;
}

// Stores the call text for the calling thread; errno is as the call found it.
void Enter(const char* name, int entry_errno, std::string&& arguments);
// Applies the delay and the exit errno.
void Leave();

}  // namespace recording

class CallRecord {
 public:
  template <typename... Args>
  CallRecord(const char* name, const Args&... args)
      : active_(recording::enabled.load(std::memory_order_relaxed)) {
    if (active_) {
      const int entry_errno = errno;
      recording::Enter(name, entry_errno, recording::FormatArguments(args...));
    }
  }
  ~CallRecord() {
    if (active_) recording::Leave();
  }
  CallRecord(const CallRecord&) = delete;
  CallRecord& operator=(const CallRecord&) = delete;

 private:
  const bool active_;
};

}  // namespace fpta

#endif  // FPTA_SRC_RECORDER_H

#include "recorder.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <thread>

#include "fpta_recorder.h"

namespace fpta::recording {

std::atomic<bool> enabled{false};

namespace {

std::atomic<int> exit_errno{0};
std::atomic<unsigned> delay_ms{0};

thread_local std::string last_call;
thread_local int last_entry_errno = 0;

template <typename... Args>
void AppendFormatted(std::string& text, const char* format, Args... args) {
  char buffer[96];
  const int length = std::snprintf(buffer, sizeof(buffer), format, args...);
  if (length > 0)
    text.append(buffer, static_cast<size_t>(length) < sizeof(buffer) ? length : sizeof(buffer) - 1);
}

}  // namespace

void AppendSigned(std::string& text, long long value) { AppendFormatted(text, "%lld", value); }

void AppendUnsigned(std::string& text, unsigned long long value) {
  AppendFormatted(text, "%llu", value);
}

void AppendDouble(std::string& text, double value) { AppendFormatted(text, "%.17g", value); }

void AppendFloat(std::string& text, float value) {
  AppendFormatted(text, "%.9g", static_cast<double>(value));
}

void AppendPointer(std::string& text, const void* pointer) {
  if (pointer == nullptr) {
    text.append("null");
  } else {
    AppendFormatted(text, "%#llx",
                    static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
  }
}

void AppendValue(std::string& text, const fpta_value& value) {
  uint64_t payload;
  std::memcpy(&payload, &value.uint, sizeof(payload));
  AppendFormatted(text, "{type=%d,length=%u,payload=0x%016llx}", static_cast<int>(value.type),
                  value.binary_length, static_cast<unsigned long long>(payload));
}

void AppendTuple(std::string& text, const fptu_ro& tuple) {
  text.append("{units=");
  AppendPointer(text, tuple.units);
  AppendFormatted(text, ",total_bytes=%llu}", static_cast<unsigned long long>(tuple.total_bytes));
}

void AppendTime(std::string& text, const fptu_time& time) { AppendUnsigned(text, time.fixedpoint); }

void AppendIovec(std::string& text, const iovec& vector) {
  text.append("{base=");
  AppendPointer(text, vector.iov_base);
  AppendFormatted(text, ",len=%llu}", static_cast<unsigned long long>(vector.iov_len));
}

void AppendEllipsis(std::string& text) { text.append("..."); }

void Enter(const char* name, int entry_errno, std::string&& arguments) {
  last_call.assign(name).append("(").append(arguments).append(")");
  last_entry_errno = entry_errno;
  errno = entry_errno;
}

void Leave() {
  const int errno_on_return = errno;
  const unsigned delay = delay_ms.load(std::memory_order_relaxed);
  if (delay != 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  const int forced = exit_errno.load(std::memory_order_relaxed);
  errno = forced != 0 ? forced : errno_on_return;
}

}  // namespace fpta::recording

using namespace fpta::recording;

void fpta_recorder_enable(int on) { enabled.store(on != 0, std::memory_order_relaxed); }

const char* fpta_recorder_last_call(void) { return last_call.c_str(); }

int fpta_recorder_errno_at_entry(void) { return last_entry_errno; }

void fpta_recorder_set_exit_errno(int value) { exit_errno.store(value, std::memory_order_relaxed); }

void fpta_recorder_set_delay_ms(unsigned milliseconds) {
  delay_ms.store(milliseconds, std::memory_order_relaxed);
}

void fpta_recorder_reset(void) {
  last_call.clear();
  last_entry_errno = 0;
  exit_errno.store(0, std::memory_order_relaxed);
  delay_ms.store(0, std::memory_order_relaxed);
}

/*
 * fpta_recorder.h: a test-only recorder of the calls made into libfpta.
 *
 * While recording is on, every one of the library's 72 entry points stores
 * the text of its call, `name(arg1, arg2, ...)`, for the calling thread, and
 * notes errno as it found it on entry. Tests use it to see exactly what
 * reached the library, and the exit errno and the delay to see how a caller
 * treats errno and calls that take time. Tests reach these functions with
 * cffi's ABI mode or ctypes; the module does not declare them.
 */
#ifndef FPTA_RECORDER_H
#define FPTA_RECORDER_H

#ifdef __cplusplus
extern "C" {
#endif

#define FPTA_RECORDER_API __attribute__((visibility("default")))

/* Recording is off by default; while off, entry points pay one load and two branches. */
FPTA_RECORDER_API void fpta_recorder_enable(int on);
/* Text of the last call the calling thread made into the library ("" if none since reset). */
FPTA_RECORDER_API const char* fpta_recorder_last_call(void);
/* errno as the last recorded call of the calling thread found it on entry. */
FPTA_RECORDER_API int fpta_recorder_errno_at_entry(void);
/* While recording, every entry point sets errno to this just before it returns (0: leaves errno
 * alone). */
FPTA_RECORDER_API void fpta_recorder_set_exit_errno(int value);
/* While recording, every entry point sleeps this many milliseconds before it returns. */
FPTA_RECORDER_API void fpta_recorder_set_delay_ms(unsigned milliseconds);
/* Clears the calling thread's last call and resets exit errno and delay to 0 (recording stays as it
 * was). */
FPTA_RECORDER_API void fpta_recorder_reset(void);

#ifdef __cplusplus
}
#endif

#endif /* FPTA_RECORDER_H */

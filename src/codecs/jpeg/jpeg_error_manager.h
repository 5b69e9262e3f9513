// The bridge between libjpeg and our exceptions: the error manager whose fatal exit jumps back
// to a guarded call, the progress monitor, and the exception thrown afterwards.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <functional>

#include <jpeglib.h>

namespace qv {

// Per library object: libjpeg's standard error manager with its fatal exit, message output and
// reset replaced. A fatal error records its message code and text and jumps to the guarded call
// that is running; a warning (corrupt or truncated data the library works around) is counted and
// the text of the first one kept, and the library goes on.
struct JpegErrorState {
  jpeg_error_mgr manager;  // first member: libjpeg hands back its address
  std::jmp_buf jump;
  int code = 0;                              // message code of the fatal error
  char text[JMSG_LENGTH_MAX] = {};           // the library's English text for it
  int warnings = 0;                          // warnings since the state was made
  char first_warning[JMSG_LENGTH_MAX] = {};  // the library's text of the first one
  std::exception_ptr pending;                // an exception one of our callbacks caught
  void (*library_format)(j_common_ptr, char *) = nullptr;
};

// Fills state's manager (jpeg_std_error with our entries) and returns it for cinfo.err.
jpeg_error_mgr *InitJpegErrors(JpegErrorState &state);

// A step that calls into libjpeg; it must hold no objects with destructors, since a fatal error
// leaves it by longjmp.
using JpegStep = void (*)(void *context);

// Runs step(context); false when a fatal error (or a pending exception) left it early.
bool RunJpegStep(JpegErrorState &state, JpegStep step, void *context);

// Throws what ended the step: the pending exception, else EJPEG for state.code.
[[noreturn]] void ThrowJpegError(const JpegErrorState &state);

// Runs step and throws on failure.
inline void CallJpeg(JpegErrorState &state, JpegStep step, void *context) {
  if (!RunJpegStep(state, step, context)) ThrowJpegError(state);
}

// From inside a libjpeg callback: remembers the exception being handled (call in a catch block
// only through CatchIntoPending) and leaves through the error jump.
[[noreturn]] void JumpWithPending(JpegErrorState &state);

// Progress monitor: at most every 500 ms hands (pass counter / pass limit + completed passes) x
// 100 / total passes to the callback. An exception from the callback (EAbort) ends the library
// call through the error jump and is rethrown by ThrowJpegError.
// While decoding it also counts the scans read: past max_scans (0: no limit) the library call
// ends with EJPEG kTooManyScans, so a file of thousands of tiny scans costs no more than a few
// passes over its picture.
struct JpegProgress {
  jpeg_progress_mgr manager;  // first member
  JpegErrorState *errors = nullptr;
  const std::function<void(int)> *callback = nullptr;
  long long last_report_ms = 0;
  int max_scans = 0;
};

// Fills progress and returns it for cinfo.progress.
jpeg_progress_mgr *InitJpegProgress(JpegProgress &progress, JpegErrorState &errors,
                                    const std::function<void(int)> *callback);

// Milliseconds of a monotonic clock.
long long JpegTickCount() noexcept;

}  // namespace qv

// libjpeg's error manager and progress monitor routed to our exceptions without letting any
// C++ exception pass through the library's frames.
#include "codecs/jpeg/jpeg_error_manager.h"

#include <chrono>

#include "codecs/jpeg/jpeg_image.h"

namespace qv {

namespace {

void ErrorExit(j_common_ptr cinfo) {
  auto *state = reinterpret_cast<JpegErrorState *>(cinfo->err);
  state->code = cinfo->err->msg_code;
  if (state->library_format != nullptr) state->library_format(cinfo, state->text);
  std::longjmp(state->jump, 1);
}

// Level -1 is a warning; higher levels are trace messages, which stay silent.
void EmitMessage(j_common_ptr cinfo, int msg_level) {
  if (msg_level >= 0) return;
  auto *state = reinterpret_cast<JpegErrorState *>(cinfo->err);
  if (state->warnings++ == 0 && state->library_format != nullptr)
    state->library_format(cinfo, state->first_warning);
  ++cinfo->err->num_warnings;
}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char *buffer) { buffer[0] = '\0'; }

void ResetErrorManager(j_common_ptr cinfo) {
  cinfo->err->num_warnings = 0;
  cinfo->err->msg_code = 0;
}

// Calls the user's callback; false when it threw (the exception is kept as pending).
bool ReportProgress(JpegProgress &progress, int percent) noexcept {
  try {
    (*progress.callback)(percent);
    return true;
  } catch (...) {
    progress.errors->pending = std::current_exception();
    return false;
  }
}

// Leaves the library call with the too-many-scans error.
[[noreturn]] void FailTooManyScans(JpegProgress &progress) {
  try {
    throw EJPEG(kTooManyScans);
  } catch (...) {
    progress.errors->pending = std::current_exception();
  }
  std::longjmp(progress.errors->jump, 1);
}

void ProgressMonitor(j_common_ptr cinfo) {
  auto *progress = reinterpret_cast<JpegProgress *>(cinfo->progress);
  if (progress->max_scans > 0 && cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > progress->max_scans)
    FailTooManyScans(*progress);
  if (progress->callback == nullptr || !*progress->callback) return;
  long long now = JpegTickCount();
  if (now - progress->last_report_ms < 500) return;
  progress->last_report_ms = now;
  const jpeg_progress_mgr &m = progress->manager;
  if (m.pass_limit <= 0 || m.total_passes <= 0) return;
  double done =
      static_cast<double>(m.pass_counter) / static_cast<double>(m.pass_limit) + m.completed_passes;
  int percent = static_cast<int>(done * 100.0 / m.total_passes);
  if (!ReportProgress(*progress, percent)) std::longjmp(progress->errors->jump, 1);
}

}  // namespace

jpeg_error_mgr *InitJpegErrors(JpegErrorState &state) {
  jpeg_std_error(&state.manager);
  state.library_format = state.manager.format_message;
  state.manager.error_exit = ErrorExit;
  state.manager.emit_message = EmitMessage;
  state.manager.output_message = OutputMessage;
  state.manager.format_message = FormatMessage;
  state.manager.reset_error_mgr = ResetErrorManager;
  return &state.manager;
}

bool RunJpegStep(JpegErrorState &state, JpegStep step, void *context) {
  if (setjmp(state.jump) != 0) return false;
  step(context);
  return true;
}

void ThrowJpegError(const JpegErrorState &state) {
  if (state.pending) std::rethrow_exception(state.pending);
  throw EJPEG(state.code, state.text);
}

void JumpWithPending(JpegErrorState &state) { std::longjmp(state.jump, 1); }

jpeg_progress_mgr *InitJpegProgress(JpegProgress &progress, JpegErrorState &errors,
                                    const std::function<void(int)> *callback) {
  progress.manager = {};
  progress.manager.progress_monitor = ProgressMonitor;
  progress.errors = &errors;
  progress.callback = callback;
  progress.last_report_ms = JpegTickCount();
  return &progress.manager;
}

long long JpegTickCount() noexcept {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace qv

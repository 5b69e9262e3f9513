// Exception classes of the runtime layer and the error-box text rule.
#pragma once

#include <exception>
#include <string>

namespace qv {

// Base of every failure the system reports: carries the message the user sees.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// An image file or image operation that the graphics layer cannot accept.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// A valid image asked for something it cannot do (bad row index, bad pixel format).
class EInvalidGraphicOperation : public Exception {
 public:
  using Exception::Exception;
};

class EStreamError : public Exception {
 public:
  explicit EStreamError(std::string message, int system_error = 0)
      : Exception(std::move(message)), system_error_(system_error) {}
  // The system's error number behind the failure (ENOSPC for a full disk), 0 when none.
  int SystemError() const noexcept { return system_error_; }

 private:
  int system_error_ = 0;
};

// A stream ended before the bytes a reader needed.
class EReadError : public EStreamError {
 public:
  EReadError();
  using EStreamError::EStreamError;
};

// A stream refused bytes (full disk, closed pipe).
class EWriteError : public EStreamError {
 public:
  EWriteError();
  using EStreamError::EStreamError;
};

// A file that cannot be opened for reading; names the path and the system's reason.
class EFOpenError : public EStreamError {
 public:
  EFOpenError(const std::string& path, const std::string& reason);
};

// A file that cannot be created; names the path and the system's reason.
class EFCreateError : public EStreamError {
 public:
  EFCreateError(const std::string& path, const std::string& reason, int system_error = 0);
};

// The silent abort: ends the current operation, and every catch site shows nothing for it.
class EAbort : public Exception {
 public:
  EAbort();
};

// A failed internal check, message "Assertion failure (module, line 行)".
class EAssertionFailed : public Exception {
 public:
  EAssertionFailed(const std::string& module, int line);
};

// Memory for an image or buffer could not be had (or a reader's size limit was exceeded).
class EOutOfMemory : public Exception {
 public:
  EOutOfMemory();
  using Exception::Exception;
};

// Raises the silent abort.
[[noreturn]] void Abort();

// Raises EAssertionFailed for module/line unless the condition holds.
inline void Assert(bool condition, const char* module, int line) {
  if (!condition) throw EAssertionFailed(module, line);
}

// The text an error box shows for a message: "." is appended when the message's last byte
// compares greater than "." (so "完了" or "abc" get a dot, "done." or "x!" do not).
std::string ErrorBoxText(const std::string& message);

}  // namespace qv

// Exception classes of the runtime layer.
#include "runtime/exceptions.h"

#include "runtime/messages.h"
#include "runtime/strings.h"

namespace qv {

EReadError::EReadError() : EStreamError(messages::kReadError) {}
EWriteError::EWriteError() : EStreamError(messages::kWriteError) {}

EFOpenError::EFOpenError(const std::string& path, const std::string& reason)
    : EStreamError(FormatText(messages::kFOpenError, {path, reason})) {}

EFCreateError::EFCreateError(const std::string& path, const std::string& reason)
    : EStreamError(FormatText(messages::kFCreateError, {path, reason})) {}

EAbort::EAbort() : Exception(messages::kOperationAborted) {}

EAssertionFailed::EAssertionFailed(const std::string& module, int line)
    : Exception(FormatText(messages::kAssertFormat,
                           {messages::kAssertionFailure, module, IntToStr(line)})) {}

EOutOfMemory::EOutOfMemory() : Exception(messages::kOutOfMemory) {}

void Abort() { throw EAbort(); }

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace qv

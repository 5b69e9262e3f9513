// Exception classes of the runtime layer.
#include "runtime/exceptions.h"

#include "runtime/messages.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

EReadError::EReadError() : EStreamError(Tr(messages::kReadError)) {}
EWriteError::EWriteError() : EStreamError(Tr(messages::kWriteError)) {}

EFOpenError::EFOpenError(const std::string& path, const std::string& reason)
    : EStreamError(FormatText(Tr(messages::kFOpenError), {path, reason})) {}

EFCreateError::EFCreateError(const std::string& path, const std::string& reason, int system_error)
    : EStreamError(FormatText(Tr(messages::kFCreateError), {path, reason}), system_error) {}

EAbort::EAbort() : Exception(Tr(messages::kOperationAborted)) {}

EAssertionFailed::EAssertionFailed(const std::string& module, int line)
    : Exception(FormatText(Tr(messages::kAssertFormat),
                           {Tr(messages::kAssertionFailure), module, IntToStr(line)})) {}

EOutOfMemory::EOutOfMemory() : Exception(Tr(messages::kOutOfMemory)) {}

void Abort() { throw EAbort(); }

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace qv

// Message texts of the runtime layer, kept together so tests can compare them. The texts are the
// catalogue's message ids (English); Tr gives them in the user's language where they are raised.
#pragma once

#include "runtime/translation.h"

namespace qv::messages {

inline constexpr char kInvalidBitmap[] = N_("Invalid bitmap image");
inline constexpr char kInvalidPixelFormat[] = N_("Invalid pixel format");
inline constexpr char kScanLineOutOfRange[] = N_("Scan line index out of range");
inline constexpr char kReadError[] = N_("Stream read error");
inline constexpr char kWriteError[] = N_("Stream write error");
inline constexpr char kOutOfMemory[] = N_("Out of memory");
inline constexpr char kOperationAborted[] = N_("Operation aborted");
inline constexpr char kAssertionFailure[] = N_("Assertion failure");
// TRANSLATORS: an assertion's text, the source module and the line.
inline constexpr char kAssertFormat[] = N_("%s (%s, line %d)");
// TRANSLATORS: the file name, then the system's reason.
inline constexpr char kFOpenError[] = N_("Cannot open file \"%s\". %s");
// TRANSLATORS: the file name, then the system's reason.
inline constexpr char kFCreateError[] = N_("Cannot create file \"%s\". %s");
// TRANSLATORS: the file name, then the system's reason.
inline constexpr char kFWriteError[] = N_("Cannot write to file \"%s\". %s");

}  // namespace qv::messages

// Exception classes and message texts of the PDF writer.
#pragma once

#include "runtime/exceptions.h"
#include "runtime/translation.h"

namespace qv {

// A value the PDF writer cannot accept (an out-of-range setting, an unknown name).
class EPdfInvalidValue : public Exception {
 public:
  using Exception::Exception;
};

// An operation the document's current state does not allow.
class EPdfInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

// A page that would take the document past the largest file the format can address.
class EPdfTooLarge : public Exception {
 public:
  using Exception::Exception;
};

// A picture the bitmap image creator cannot embed.
class EPdfInvalidImageFormat : public Exception {
 public:
  using Exception::Exception;
};

// A failure reported by zlib.
class EZlibError : public Exception {
 public:
  using Exception::Exception;
};

// A deflate error or an operation a compression stream does not support.
class ECompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};

// An operation the report's state does not allow ("document is null..").
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

// A name looked up in the class registry that nobody registered.
class EClassNotFound : public Exception {
 public:
  using Exception::Exception;
};

namespace pdf_messages {

inline constexpr char kWrongObjectType[] = N_("internal error wrong object type");
inline constexpr char kVirtualObjectCreate[] =
    N_("virtualObject must be create by CreateVirtual method.");
inline constexpr char kWrongElementValue[] = N_("internal error. wrong object.");
inline constexpr char kCompressionError[] = N_("Error");
inline constexpr char kInvalidStreamOperation[] = N_("Invalid stream operation");
// Class registry: the alias.
inline constexpr char kTooLarge[] =
    N_("this page would take the PDF past 2 GiB, the largest file it can be");
// TRANSLATORS: the name looked up.
inline constexpr char kClassNotFound[] = N_("Class %s not found");

}  // namespace pdf_messages

}  // namespace qv

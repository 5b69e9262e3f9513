// The name of a pixel format, for test names and messages.
#pragma once

#include <string>

#include "imaging/bitmap.h"

namespace qv::testing {

inline std::string PixelFormatName(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pfDevice: return "pfDevice";
    case TPixelFormat::pf1bit: return "pf1bit";
    case TPixelFormat::pf4bit: return "pf4bit";
    case TPixelFormat::pf8bit: return "pf8bit";
    case TPixelFormat::pf15bit: return "pf15bit";
    case TPixelFormat::pf16bit: return "pf16bit";
    case TPixelFormat::pf24bit: return "pf24bit";
    case TPixelFormat::pf32bit: return "pf32bit";
    case TPixelFormat::pfCustom: return "pfCustom";
  }
  return "unknown";
}

}  // namespace qv::testing

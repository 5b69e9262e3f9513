// The zlib result descriptions of the PNG decoder's inflate error.
#include "codecs/png/png_exceptions.h"

#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

std::string ZlibCodeDescription(int code) {
  static constexpr const char* kTexts[] = {NC_("PNG", "incompatible version (-6)"),
                                           NC_("PNG", "buffer error (-5)"),
                                           NC_("PNG", "insufficient memory (-4)"),
                                           NC_("PNG", "data error (-3)"),
                                           NC_("PNG", "stream error (-2)"),
                                           NC_("PNG", "file error (-1)"),
                                           "(0)",
                                           NC_("PNG", "stream end (1)"),
                                           NC_("PNG", "need dictionary (2)")};
  if (code >= -6 && code <= 2) return TrCtx("PNG", kTexts[code + 6]);
  std::string text = "(";
  text += IntToStr(code);
  text += ')';
  return text;
}

}  // namespace qv

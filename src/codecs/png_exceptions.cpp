// The zlib result descriptions of the PNG decoder's inflate error.
#include "codecs/png_exceptions.h"

#include "runtime/strings.h"

namespace qv {

std::string ZlibCodeDescription(int code) {
  static constexpr const char* kTexts[] = {"incompatible version (-6)",
                                           "buffer error (-5)",
                                           "insufficient memory (-4)",
                                           "data error (-3)",
                                           "stream error (-2)",
                                           "file error (-1)",
                                           "(0)",
                                           "stream end (1)",
                                           "need dictionary (2)"};
  if (code >= -6 && code <= 2) return kTexts[code + 6];
  std::string text = "(";
  text += IntToStr(code);
  text += ')';
  return text;
}

}  // namespace qv

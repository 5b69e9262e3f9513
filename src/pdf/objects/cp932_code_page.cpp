// CP932 code page: lead-byte test and conversion to UTF-16 through iconv.
#include "pdf/objects/cp932_code_page.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

namespace {

bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Owns one iconv descriptor.
class TIconv {
 public:
  TIconv(const char *to, const char *from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1))
      // TRANSLATORS: the two character sets (the C library offers no conversion between them).
      throw Exception(FormatText(Tr("no converter from %s to %s"), {from, to}));
  }
  ~TIconv() { iconv_close(handle_); }
  TIconv(const TIconv &) = delete;
  TIconv &operator=(const TIconv &) = delete;
  iconv_t Handle() const { return handle_; }

 private:
  iconv_t handle_;
};

}  // namespace

bool TCp932CodePage::HasMultiByte(std::string_view text) const {
  for (unsigned char byte : text)
    if (IsLeadByte(byte)) return true;
  return false;
}

std::u16string TCp932CodePage::ToUtf16(std::string_view text) const {
  TIconv converter("UTF-16BE", "CP932");
  std::u16string result;
  std::vector<char> input(text.begin(), text.end());
  char *in = input.data();
  std::size_t in_left = input.size();
  char out_buffer[256];
  auto flush = [&](const char *end) {
    for (const char *p = out_buffer; p + 1 < end; p += 2)
      result.push_back(static_cast<char16_t>((static_cast<unsigned char>(p[0]) << 8) |
                                             static_cast<unsigned char>(p[1])));
  };
  while (in_left > 0) {
    char *out = out_buffer;
    std::size_t out_left = sizeof out_buffer;
    std::size_t rc = iconv(converter.Handle(), &in, &in_left, &out, &out_left);
    flush(out);
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // An invalid or cut-off character: one replacement, then carry on after the byte.
      result.push_back(u'\uFFFD');
      ++in;
      --in_left;
    }
  }
  return result;
}

}  // namespace qv

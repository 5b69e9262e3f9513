// gettext behind the program's texts.
#include "runtime/translation.h"

#include <libintl.h>

#include <clocale>

#include "runtime/paths.h"

#ifndef QV_INSTALL_LOCALEDIR
#define QV_INSTALL_LOCALEDIR "/usr/local/share/locale"
#endif

namespace qv {

const char* Tr(const char* text) { return ::dgettext(kTextDomain, text); }

const char* TrCtx(const char* context, const char* text) {
  // The catalogue keys a text with a context as "context EOT text".
  std::string key = std::string(context) + '\004' + text;
  const char* translated = ::dgettext(kTextDomain, key.c_str());
  return translated == key.c_str() ? text : translated;
}

const char* TrN(const char* singular, const char* plural, long n) {
  return ::dngettext(kTextDomain, singular, plural, static_cast<unsigned long>(n < 0 ? -n : n));
}

void InitTranslations(const std::string& catalogue_folder) {
  // Only the message category is taken from the environment: numbers, collation and character
  // classes stay as the program's callers set them.
  std::setlocale(LC_MESSAGES, "");
  ::bindtextdomain(kTextDomain, catalogue_folder.c_str());
  ::bind_textdomain_codeset(kTextDomain, "UTF-8");
  // The C library's own messages (strerror) come in the same language; in UTF-8 like ours, since
  // the character class category stays "C" and would turn them into question marks.
  ::bind_textdomain_codeset("libc", "UTF-8");
}

std::string DefaultCatalogueFolder() {
  std::string exe = ExecutableFileName();
  if (!exe.empty()) {
    std::string beside = ExtractFilePath(exe) + "../share/locale";
    if (DirectoryExists(beside)) return beside;
  }
  return QV_INSTALL_LOCALEDIR;
}

}  // namespace qv

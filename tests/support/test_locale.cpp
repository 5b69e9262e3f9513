// Switches the program's texts between Japanese and English for a test program and its children.
#include "support/test_locale.h"

#include <clocale>
#include <cstdlib>

#include "runtime/translation.h"

namespace qv::testing {

namespace {

void UseMessageLocale(const char* locale, const char* language) {
  ::unsetenv("LC_ALL");
  ::setenv("LC_MESSAGES", locale, 1);
  if (language != nullptr)
    ::setenv("LANGUAGE", language, 1);
  else
    ::unsetenv("LANGUAGE");
  InitTranslations(QV_BINARY_DIR "/share/locale");
}

}  // namespace

void UseJapaneseTexts() {
  if (std::setlocale(LC_MESSAGES, "ja_JP.UTF-8") != nullptr)
    UseMessageLocale("ja_JP.UTF-8", nullptr);
  else
    UseMessageLocale("C.UTF-8", "ja");
}

void UseEnglishTexts() { UseMessageLocale("C.UTF-8", nullptr); }

}  // namespace qv::testing

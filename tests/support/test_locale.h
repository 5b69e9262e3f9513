// The language the program's texts come out in during a test.
//
// Every test program starts with the Japanese texts (the messages and captions the tests compare
// were first written in Japanese); a test of the English texts switches with UseEnglishTexts and
// back with UseJapaneseTexts. The choice is made through the environment too, so child processes
// (quenvale-cli) and a QApplication created later speak the same language.
#pragma once

namespace qv::testing {

// LC_MESSAGES ja_JP.UTF-8 (C.UTF-8 with LANGUAGE=ja when that locale is not installed).
void UseJapaneseTexts();
// LC_MESSAGES C.UTF-8 without LANGUAGE: the English texts of the sources.
void UseEnglishTexts();

// Restores the Japanese texts when it goes out of scope.
class TEnglishTexts {
 public:
  TEnglishTexts() { UseEnglishTexts(); }
  ~TEnglishTexts() { UseJapaneseTexts(); }
  TEnglishTexts(const TEnglishTexts&) = delete;
  TEnglishTexts& operator=(const TEnglishTexts&) = delete;
};

}  // namespace qv::testing

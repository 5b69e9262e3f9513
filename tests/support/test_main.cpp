// The main of the test programs: Japanese texts from the build tree's catalogues, then the tests.
#include <gmock/gmock.h>

#include "support/test_locale.h"

int main(int argc, char** argv) {
  qv::testing::UseJapaneseTexts();
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}

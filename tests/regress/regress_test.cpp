// Every input saved in tests/data/regress (a crash, hang or broken invariant a fuzzer found) is
// replayed through its fuzz target's code and must now end cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/bmp/bmp_reader.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/png/png_object.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "settings/ini_file.h"

int FuzzOne_bmp(const std::uint8_t* data, std::size_t size);
int FuzzOne_png(const std::uint8_t* data, std::size_t size);
int FuzzOne_ini(const std::uint8_t* data, std::size_t size);
int FuzzOne_spi_block(const std::uint8_t* data, std::size_t size);
int FuzzOne_jpeg(const std::uint8_t* data, std::size_t size);
int FuzzOne_pdf_drop(const std::uint8_t* data, std::size_t size);

namespace qv {
namespace {

namespace fs = std::filesystem;

enum class Expect {
  kReaderFails,  // the reader raises one of its own exceptions (the clean failure)
  kReaderReads,  // the reader gives an image
  kTargetPasses  // the fuzz target's invariants hold (no reader verdict to check)
};

struct SavedInput {
  const char* file;  // in tests/data/regress; the prefix names the target
  Expect expect;
  const char* what;  // what the input found
};

std::ostream& operator<<(std::ostream& out, const SavedInput& input) { return out << input.file; }

const std::vector<SavedInput> kSavedInputs = {
    {"ini-update-trailing-cr.bin", Expect::kTargetPasses,
     "a file ending in a bare CR: the key written after it joined the last line and was lost"},
};

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Reads the bytes with the reader the file's prefix names (bmp-, jpeg-, png-); true when it gave
// an image.
bool ReaderReads(const std::string& file, const std::vector<std::uint8_t>& bytes) {
  TReadOnlyMemoryStream stream({bytes.data(), bytes.size()});
  TBitmap image;
  if (StartsWith(file, "bmp-")) {
    ReadBitmap(image, stream);
  } else if (StartsWith(file, "jpeg-")) {
    // The fuzz target's layout: a settings byte, then the file.
    stream.SetPosition(1);
    TJPEGImage jpeg;
    jpeg.LoadFromStream(stream);
    jpeg.AssignTo(image);
  } else {
    TPNGObject png;
    png.LoadFromStream(stream);
    png.AssignTo(image);
  }
  return true;
}

class SavedInputTest : public ::testing::TestWithParam<SavedInput> {};

TEST_P(SavedInputTest, EndsCleanly) {
  const SavedInput& input = GetParam();
  const std::string file = input.file;
  std::vector<std::uint8_t> bytes = ReadBytes(std::string(QV_REGRESS_DIR) + "/" + file);
  ASSERT_FALSE(bytes.empty()) << file;
  SCOPED_TRACE(input.what);
  if (StartsWith(file, "bmp-")) {
    EXPECT_NO_THROW(FuzzOne_bmp(bytes.data(), bytes.size()));
  } else if (StartsWith(file, "png-")) {
    EXPECT_NO_THROW(FuzzOne_png(bytes.data(), bytes.size()));
  } else if (StartsWith(file, "ini-")) {
    EXPECT_NO_THROW(FuzzOne_ini(bytes.data(), bytes.size()));
  } else if (StartsWith(file, "jpeg-")) {
    EXPECT_NO_THROW(FuzzOne_jpeg(bytes.data(), bytes.size()));
  } else if (StartsWith(file, "spi-")) {
    EXPECT_NO_THROW(FuzzOne_spi_block(bytes.data(), bytes.size()));
  } else if (StartsWith(file, "pdf-")) {
    EXPECT_NO_THROW(FuzzOne_pdf_drop(bytes.data(), bytes.size()));
  } else {
    FAIL() << "no target for " << file;
  }
  if (input.expect == Expect::kReaderFails) {
    EXPECT_THROW(ReaderReads(file, bytes), qv::Exception);
  } else if (input.expect == Expect::kReaderReads) {
    EXPECT_NO_THROW(ReaderReads(file, bytes));
  }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SavedInputTest);
INSTANTIATE_TEST_SUITE_P(Saved, SavedInputTest, ::testing::ValuesIn(kSavedInputs),
                         [](const auto& test) {
                           std::string name = test.param.file;
                           std::replace_if(
                               name.begin(), name.end(),
                               [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
                               '_');
                           return name;
                         });

// A file saved without a table entry would never be replayed.
TEST(SavedInputs, EveryFileOfTheFolderIsReplayed) {
  for (const auto& entry : fs::directory_iterator(QV_REGRESS_DIR)) {
    std::string name = entry.path().filename().string();
    if (name.front() == '.') continue;  // .keep holds the folder in git
    bool listed = std::any_of(kSavedInputs.begin(), kSavedInputs.end(),
                              [&](const SavedInput& input) { return name == input.file; });
    EXPECT_TRUE(listed) << name << " is in tests/data/regress but not in kSavedInputs";
  }
}

// The fuzzer's finding spelled out: a last line ending in a bare CR is completed to CR LF, the
// new lines follow it with CR LF, and the old line reads as it did.
TEST(IniUpdateAfterBareCr, CompletesTheLastLineAndKeepsBothKeys) {
  EXPECT_EQ(IniUpdate("[a]\nx=1\r", "a", "k", "v"), "[a]\nx=1\r\nk=v\r\n");
  EXPECT_EQ(IniUpdate("x=1\r", "b", "k", "v"), "x=1\r\n\r\n[b]\r\nk=v\r\n");
  std::string updated = IniUpdate("[a]\nx=1\r", "a", "k", "v");
  EXPECT_EQ(IniLookup(updated, "a", "x"), "1");
  EXPECT_EQ(IniLookup(updated, "a", "k"), "v");
}

}  // namespace
}  // namespace qv

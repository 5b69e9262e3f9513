// Byte-level tests of the object model's serialisation, run in the C locale and again under a
// decimal-comma locale.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <regex>

#include "pdf/objects/compression_stream.h"
#include "pdf/objects/cp932_code_page.h"
#include "pdf/objects/pdf_array.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_stream.h"
#include "pdf/objects/pdf_text_helpers.h"
#include "pdf/objects/pdf_xref.h"
#include "pdf_test_support.h"
#include "runtime/stream.h"

namespace qv {
namespace {

std::string Written(TPdfObject &object) {
  TMemoryStream stream;
  object.WriteTo(stream);
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

std::string Inflate(const std::string &compressed) {
  std::vector<Bytef> out(1 << 22);
  uLongf size = out.size();
  EXPECT_EQ(uncompress(out.data(), &size, reinterpret_cast<const Bytef *>(compressed.data()),
                       compressed.size()),
            Z_OK);
  return std::string(out.begin(), out.begin() + static_cast<long>(size));
}

// Param: run under a decimal-comma locale.
class Serialisation : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      locale_ = std::make_unique<pdf_test::CommaLocale>();
      if (!locale_->Active())
        GTEST_SKIP() << "no decimal-comma locale installed (see scripts/setup.sh)";
    }
  }
  std::unique_ptr<pdf_test::CommaLocale> locale_;
};

INSTANTIATE_TEST_SUITE_P(Locales, Serialisation, ::testing::Values(false, true),
                         [](const auto &test_info) {
                           return test_info.param ? "DecimalComma" : "C";
                         });

TEST_P(Serialisation, NamesEscapeDelimitersAndBytesOutsidePrintableAscii) {
  const std::pair<std::string, std::string> cases[] = {
      {"A B", "/A#20B"}, {"a#b", "/a#23b"},
      {"\x80", "/#80"},  {"", "/"},
      {"Type", "/Type"}, {"a/b(c)<d>[e]{f}%", "/a#2Fb#28c#29#3Cd#3E#5Be#5D#7Bf#7D#25"},
      {"~!", "/~!"},     {"\x7F\x21", "/#7F!"}};
  for (const auto &[value, expected] : cases) {
    TPdfName name(value);
    EXPECT_EQ(Written(name), expected) << value;
  }
}

TEST_P(Serialisation, LiteralTextsEscapeExactlyEightBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"a(b)c\\d", "(a\\(b\\)c\\\\d)"},
      {"x\r\ny", "(x\\r\\ny)"},
      {"", "()"},
      {"\t\b\f", "(\\t\\b\\f)"},
      {std::string("\x01\x1B", 2), std::string("(\x01\x1B)", 4)}};
  for (const auto &[value, expected] : cases) {
    TPdfText text(value);
    EXPECT_EQ(Written(text), expected);
  }
}

TEST_P(Serialisation, MultiByteTextsUseTheUnicodeForm) {
  TPdfText text("日本");  // UTF-8, the writer's code page
  EXPECT_EQ(Written(text), "<FEFF001B656E001B65E5672C>");
  TPdfText astral("a\xF0\x9F\x98\x80");
  EXPECT_EQ(Written(astral), "<FEFF001B656E001B0061D83DDE00>");
  TPdfText broken("\xE6\x97");  // cut-off sequence: one replacement per byte
  EXPECT_EQ(Written(broken), "<FEFF001B656E001BFFFDFFFD>");
}

TEST_P(Serialisation, ShiftJisTextsThroughCodePage932) {
  TCp932CodePage cp932;
  EXPECT_EQ(PdfTextForm("\x93\xfa", cp932), "<FEFF001B656E001B65E5>");  // one double-byte character
  EXPECT_EQ(PdfTextForm("A\x83\x5C", cp932), "<FEFF001B656E001B004130BD>");  // trail byte 0x5C
  EXPECT_EQ(PdfTextForm("\xB1\xB2\xDF", cp932),
            "(\xB1\xB2\xDF)");  // half-width katakana stay literal
  EXPECT_EQ(PdfTextForm("a(b)", cp932), "(a\\(b\\))");
}

TEST_P(Serialisation, Numbers) {
  const std::pair<std::int32_t, std::string> cases[] = {
      {0, "0"}, {7, "7"}, {-5, "-5"}, {2147483647, "2147483647"}, {-2147483647 - 1, "-2147483648"}};
  for (const auto &[value, expected] : cases) {
    TPdfNumber number(value);
    EXPECT_EQ(Written(number), expected);
  }
  TPdfBoolean yes(true), no(false);
  TPdfNull null;
  EXPECT_EQ(Written(yes) + Written(no) + Written(null), "truefalsenull");
}

TEST_P(Serialisation, RealsInTheGeneralFormat) {
  const std::pair<double, std::string> cases[] = {{1.5, "1.5"},
                                                  {2, "2"},
                                                  {-0.25, "-0.25"},
                                                  {1.0 / 3, "0.333333333333333"},
                                                  {595.28, "595.28"},
                                                  {123456789012345.0, "123456789012345"},
                                                  {0, "0"}};
  for (const auto &[value, expected] : cases) {
    TPdfReal real(value);
    EXPECT_EQ(Written(real), expected);
  }
}

TEST_P(Serialisation, FormatRealTruncatesAfterAddingOneHalf) {
  const std::pair<float, std::string> cases[] = {{10, "10"},           {842, "842"},  {0.5f, "0.5"},
                                                 {595.275f, "595.28"}, {1.005f, "1"}, {-1, "-0.99"},
                                                 {-1.236f, "-1.23"},   {0.004f, "0"}, {640, "640"}};
  for (const auto &[value, expected] : cases) EXPECT_EQ(FormatReal(value), expected) << value;
}

TEST_P(Serialisation, ArraysPutASpaceAfterEachItem) {
  TPdfArray empty;
  EXPECT_EQ(Written(empty), "[]");
  TPdfArray box(nullptr, {0, 0, 596, 842});
  EXPECT_EQ(Written(box), "[0 0 596 842 ]");
  TPdfArray mixed;
  mixed.Add(std::make_unique<TPdfName>("PDF"));
  mixed.Add(std::make_unique<TPdfText>("x"));
  mixed.Add(TPdfVirtualObject::CreateReference(5));
  EXPECT_EQ(Written(mixed), "[/PDF (x) 5 0 R ]");
  EXPECT_TRUE(mixed.FindName("PDF"));
  EXPECT_FALSE(mixed.FindName("pdf"));
}

TEST_P(Serialisation, DictionariesWriteVisibleElementsInOrder) {
  TPdfDictionary catalog;
  catalog.Put("Type", std::make_unique<TPdfName>("Catalog"));
  catalog.Put("Pages", TPdfVirtualObject::CreateReference(3));
  EXPECT_EQ(Written(catalog), "<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n>>");

  TPdfDictionary info;
  info.Put("Title", std::make_unique<TPdfText>("a"));
  info.Put("Author", std::make_unique<TPdfText>("b"));
  info.Put("Title", std::make_unique<TPdfText>("c"));  // replaced and moved last
  info.PutInternal("_Font", std::make_unique<TPdfName>("Arial"));
  EXPECT_EQ(Written(info), "<<\r\n/Author (b)\r\n/Title (c)\r\n>>");
  ASSERT_NE(info.FindName("_Font"), nullptr);  // internal: found, never written
  EXPECT_EQ(info.FindName("_Font")->Value(), "Arial");
  EXPECT_EQ(info.Find("title"), nullptr);  // keys compare exactly
  info.Remove("Author");
  info.Remove("Missing");
  EXPECT_EQ(Written(info), "<<\r\n/Title (c)\r\n>>");
  TPdfDictionary empty;
  EXPECT_EQ(Written(empty), "<<\r\n>>");
}

TEST_P(Serialisation, ReferencesResolveThroughTheObjectManager) {
  TPdfXref xref;
  TPdfDictionary *pages = xref.Add(std::make_unique<TPdfDictionary>(&xref));
  pages->Put("Type", std::make_unique<TPdfName>("Pages"));
  TPdfDictionary catalog(&xref);
  catalog.PutReference("Pages", *pages);
  EXPECT_EQ(catalog.FindDictionary("Pages"), pages);
  EXPECT_EQ(Written(catalog), "<<\r\n/Pages 1 0 R\r\n>>");
  TPdfDictionary orphan;  // no object manager: a reference finds nothing
  orphan.PutReference("Pages", *pages);
  EXPECT_EQ(orphan.Find("Pages"), nullptr);
  EXPECT_THROW(catalog.Put("X", nullptr), EPdfInvalidValue);
  EXPECT_THROW(xref.AddObject(TPdfVirtualObject::CreateReference(1)), EPdfInvalidOperation);
}

TEST_P(Serialisation, IndirectFramingAndTheWrongTypeMessage) {
  TPdfXref xref;
  TPdfNumber *number = xref.Add(std::make_unique<TPdfNumber>(42));
  TMemoryStream stream;
  number->WriteIndirect(stream);
  EXPECT_EQ(std::string(stream.Bytes().begin(), stream.Bytes().end()),
            "1 0 obj\r\n42\r\nendobj\r\n");
  EXPECT_EQ(Written(*number), "1 0 R");
  TPdfNumber direct(1);
  try {
    direct.WriteIndirect(stream);
    FAIL();
  } catch (const EPdfInvalidOperation &e) {
    EXPECT_EQ(e.Message(), "internal error wrong object type");
  }
}

TEST_P(Serialisation, StreamWithoutFilterWritesItsDataUnchanged) {
  TPdfStream stream;
  stream.AppendData("abc\n", 4);
  EXPECT_EQ(Written(stream), "<<\r\n/Length 4\r\n/Filter []\r\n>>\r\nstream\r\nabc\n\nendstream");
}

TEST_P(Serialisation, FlateStreamDeflatesACopyEachTimeItIsWritten) {
  TPdfStream stream;
  stream.Attributes().FindArray("Filter")->Add(std::make_unique<TPdfName>("FlateDecode"));
  std::string content;
  for (int i = 0; i < 2000; ++i)
    content += "q\n640 0 0 480 1 -0.99 cm\n/PDFJPEG" + std::to_string(i) + " Do\nQ\n";
  stream.AppendData(content.data(), content.size());
  std::string first = Written(stream);
  std::string second = Written(stream);
  EXPECT_EQ(first, second);
  EXPECT_EQ(std::string(stream.Data().begin(), stream.Data().end()), content);
  std::smatch match;
  ASSERT_TRUE(std::regex_search(
      first, match,
      std::regex("^<<\r\n/Length (\\d+)\r\n/Filter \\[/FlateDecode \\]\r\n>>\r\nstream\r\n")));
  std::size_t length = std::stoul(match[1]);
  std::size_t begin = static_cast<std::size_t>(match.length(0));
  ASSERT_EQ(first.size(), begin + length + std::string("\nendstream").size());
  std::string deflated = first.substr(begin, length);
  EXPECT_EQ(static_cast<unsigned char>(deflated[0]), 0x78);
  EXPECT_EQ(static_cast<unsigned char>(deflated[1]), 0xDA);  // zlib header of level 9, window 2^15
  EXPECT_EQ(Inflate(deflated), content);
  EXPECT_LT(length, content.size());
}

TEST_P(Serialisation, CompressionStreamSpansManyOutputBuffers) {
  std::mt19937 random(7);
  std::vector<std::uint8_t> data(300000);
  for (auto &byte : data)
    byte = static_cast<std::uint8_t>(random());  // incompressible: > 4 buffers out
  TMemoryStream out;
  out.WriteString("head");
  {
    TCompressionStream compressor(TCompressionLevel::clMax, out);
    compressor.WriteBuffer(data.data(), 1000);
    EXPECT_EQ(compressor.Seek(0, SeekOrigin::kCurrent), 1000);
    compressor.WriteBuffer(data.data() + 1000, data.size() - 1000);
    EXPECT_EQ(compressor.Position(), static_cast<std::int64_t>(data.size()));
    char byte;
    EXPECT_THROW(compressor.Read(&byte, 1), ECompressionError);
    EXPECT_THROW(compressor.Seek(1, SeekOrigin::kBeginning), ECompressionError);
  }
  std::string all(out.Bytes().begin(), out.Bytes().end());
  ASSERT_EQ(all.substr(0, 4), "head");
  EXPECT_EQ(Inflate(all.substr(4)), std::string(data.begin(), data.end()));
}

TEST_P(Serialisation, PdfDateIsTheLocalTimeOfTheCall) {
  std::string date = PdfDate();
  ASSERT_TRUE(std::regex_match(date, std::regex("D:\\d{14}")));
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(std::stoi(date.substr(2, 4)), local.tm_year + 1900);
}

}  // namespace
}  // namespace qv

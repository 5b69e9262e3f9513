// End-to-end bad-input suite: quenvale-cli on damaged, hostile and unwritable cases must fail
// cleanly (exit 1, a message naming the file and the reason), write nothing, and stay within a
// bounded peak memory.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

#include "regress/crafted_files.h"
#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "support/test_data.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::BmpFields;
using testing::Deflate;
using testing::IhdrData;
using testing::MakeBmp;
using testing::MakePng;
using testing::PngChunk;
using testing::ProgramResult;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// quenvale-cli run without a display, measured.
ProgramResult RunCli(const std::vector<std::string>& args, rlim_t file_size_limit = RLIM_INFINITY) {
  return testing::RunProgram(QV_CLI_PATH, args, {"DISPLAY="}, file_size_limit);
}

// Above this peak the run fails: no bad file may make the converter allocate by its header.
constexpr long kMaxRssKib = 512 * 1024;

constexpr char kInvalidBitmap[] =
    "\xE3\x83\x93\xE3\x83\x83\xE3\x83\x88\xE3\x83\x9E\xE3\x83\x83"
    "\xE3\x83\x97\xE3\x82\xA4\xE3\x83\xA1\xE3\x83\xBC\xE3\x82\xB8"
    "\xE3\x81\x8C\xE4\xB8\x8D\xE6\xAD\xA3\xE3\x81\xA7\xE3\x81\x99";
constexpr char kTooLarge[] = "画像が大きすぎます";
constexpr char kReadError[] = "ストリームの読み込みエラー";
constexpr char kJpegError[] = "JPEG エラー #";

// Every regular file below folder (none when it does not exist).
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code ignored;
  if (!fs::is_directory(folder, ignored)) return found;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (!entry.is_directory()) found.push_back(entry.path().string());
  return found;
}

// A good 24-bit W x H BMP.
std::string GoodBmp(int width, int height) {
  BmpFields f;
  f.width = width;
  f.height = height;
  std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  return MakeBmp(f, std::string(row * height, '\x40'));
}

std::string Repeat(std::string_view piece, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out.append(piece);
  return out;
}

// The colour table of an 8-bit BMP: 256 grey entries.
std::string GreyTable(int entries = 256) {
  std::string out;
  for (int i = 0; i < entries; ++i) out += {char(i), char(i), char(i), '\0'};
  return out;
}

std::string Rle8(std::string_view codes) {
  BmpFields f;
  f.bits = 8;
  f.compression = 1;
  return MakeBmp(f, GreyTable() + std::string(codes));
}

std::string Rle4(std::string_view codes) {
  BmpFields f;
  f.bits = 4;
  f.compression = 2;
  return MakeBmp(f, GreyTable(16) + std::string(codes));
}

std::string Bmp(BmpFields f, std::string_view body = std::string(64, '\0')) {
  return MakeBmp(f, body);
}

std::string Ihdr(std::uint32_t w, std::uint32_t h, int depth = 8, int colour_type = 0) {
  return PngChunk("IHDR", IhdrData(w, h, depth, colour_type));
}

// An 8x8 grey PNG with one IDAT of the given (already filtered and compressed) data.
std::string GreyPng(std::string idat, bool wrong_crc = false) {
  return MakePng({Ihdr(8, 8), PngChunk("IDAT", idat, wrong_crc), PngChunk("IEND", "")});
}

std::string GreyRows(int width, int height) {
  return Repeat(std::string(1, '\0') + std::string(static_cast<std::size_t>(width), '\x55'),
                height);
}

std::string PalettePng(std::size_t plte_bytes, std::size_t trns_bytes) {
  std::vector<std::string> chunks = {Ihdr(1, 1, 8, 3),
                                     PngChunk("PLTE", std::string(plte_bytes, '\x10'))};
  if (trns_bytes) chunks.push_back(PngChunk("tRNS", std::string(trns_bytes, '\xFF')));
  chunks.push_back(PngChunk("IDAT", Deflate(std::string("\0\0", 2))));
  chunks.push_back(PngChunk("IEND", ""));
  return MakePng(chunks);
}

std::string TestData(const std::string& relative) {
  return ReadFile(testing::TestDataPath(relative));
}

struct BadFile {
  const char* name;       // test name
  const char* file_name;  // the input's name (its extension picks the reader)
  std::function<std::string()> bytes;
  const char* reason;  // text the message must hold after the file name
};

std::ostream& operator<<(std::ostream& out, const BadFile& file) { return out << file.name; }

const BadFile kBadFiles[] = {
    // BMP headers.
    {"BmpWidthTimesHeightTimesBitsOverflows", "wxh.bmp",
     [] { return Bmp({.width = 65536, .height = 65536, .bits = 32}); }, kTooLarge},
    {"BmpRowSizeOverflows", "row.bmp",
     [] { return Bmp({.width = 0x7FFFFFFF, .height = 1, .bits = 24}); }, kTooLarge},
    {"BmpHeightIntMin", "hmin.bmp",
     [] { return Bmp({.height = std::numeric_limits<std::int32_t>::min()}); }, kTooLarge},
    {"BmpBitsPerPixel0", "bpp0.bmp", [] { return Bmp({.bits = 0}); }, kInvalidBitmap},
    {"BmpBitsPerPixel7", "bpp7.bmp", [] { return Bmp({.bits = 7}); }, kInvalidBitmap},
    {"BmpBitsPerPixel64", "bpp64.bmp", [] { return Bmp({.bits = 64}); }, kInvalidBitmap},
    {"BmpColoursUsed2Pow31", "clr.bmp",
     [] { return Bmp({.bits = 8, .colors_used = 0x80000000u}, GreyTable()); }, kReadError},
    {"BmpHugePictureTinyData", "huge.bmp",
     [] { return Bmp({.width = 16000, .height = 16000, .bits = 24}, std::string(100, 'x')); },
     kReadError},
    {"BmpPixelsShorterThanDeclared", "short.bmp",
     [] { return Bmp({.width = 16, .height = 16}, std::string(16 * 48 / 2, 'x')); }, kReadError},
    // Run-length data: a run or an absolute run past the row, a delta past the image.
    {"BmpRle8RunPastRow", "rle8run.bmp", [] { return Rle8(std::string("\xFF\x01\x00\x01", 4)); },
     kInvalidBitmap},
    {"BmpRle8AbsolutePastRow", "rle8abs.bmp",
     [] {
       return Rle8(std::string("\x00\xFE", 2) + std::string(254, '\x01') +
                   std::string("\x00\x01", 2));
     },
     kInvalidBitmap},
    {"BmpRle4RunPastRow", "rle4run.bmp", [] { return Rle4(std::string("\xFF\x12\x00\x01", 4)); },
     kInvalidBitmap},
    {"BmpRle8DeltaPastRow", "rle8deltarow.bmp",
     [] { return Rle8(std::string("\x02\x01\x00\x02\x05\x00\x02\x01\x00\x01", 10)); },
     kInvalidBitmap},
    // PNG.
    {"Png65535Square", "big.png",
     [] {
       return MakePng({Ihdr(65535, 65535), PngChunk("IDAT", Deflate(GreyRows(65535, 1))),
                       PngChunk("IEND", "")});
     },
     kTooLarge},
    {"PngIdatBombOverPixelLimit", "bomb.png",
     [] {
       return MakePng({Ihdr(20000, 20000), PngChunk("IDAT", Deflate(GreyRows(20000, 2))),
                       PngChunk("IEND", "")});
     },
     kTooLarge},
    {"PngIdatCrcWrong", "crc.png", [] { return GreyPng(Deflate(GreyRows(8, 8)), true); },
     "(crc error)"},
    {"PngPlte769Bytes", "plte.png", [] { return PalettePng(769, 0); }, "invalid palette"},
    {"PngTrns257Bytes", "trns.png", [] { return PalettePng(6, 257); }, "invalid palette"},
    {"PngIhdr12Bytes", "ihdr.png",
     [] {
       return MakePng({PngChunk("IHDR", IhdrData(8, 8, 8, 0).substr(0, 12)), PngChunk("IEND", "")});
     },
     "(ihdr)"},
    // JPEG.
    {"JpegTruncatedAfterHeader", "trunc.jpg",
     [] { return TestData("jpeg/derived/testorig-trunc-before-sos.jpg"); }, kJpegError},
    {"Jpeg65500Square", "big.jpg",
     [] { return TestData("jpeg/derived/testorig-sof-65500x65500.jpg"); }, kTooLarge},
    // Empty files of the built-in readers' extensions.
    {"EmptyPng", "empty.png", [] { return std::string(); }, "invalid header"},
    {"EmptyJpg", "empty.jpg", [] { return std::string(); }, kJpegError},
    {"EmptyJpeg", "empty.jpeg", [] { return std::string(); }, kJpegError},
};

class BadFileTest : public ::testing::TestWithParam<BadFile> {
 protected:
  ProgramResult Convert(const std::vector<std::string>& inputs) {
    std::vector<std::string> args = {"--ini", dir / "test.ini", "--out",  dir / "out", "--format",
                                     "bmp",   "--overwrite",    "--quiet"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    return RunCli(args);
  }
  TempDir dir;
};

// exit 1, the message "<input>: <reason>", nothing written, memory bounded.
void ExpectCleanFailure(const ProgramResult& run, const std::string& input,
                        const std::string& reason, const std::string& out_folder) {
  EXPECT_EQ(run.status, 1) << run.err;
  ASSERT_EQ(run.err.rfind(input + ": ", 0), 0u) << run.err;
  std::string message = run.err.substr(input.size() + 2);
  EXPECT_GT(message.size(), 2u) << "no reason given";
  EXPECT_NE(message.find(reason), std::string::npos) << message;
  EXPECT_LT(run.max_rss_kib, kMaxRssKib);
  EXPECT_EQ(FilesBelow(out_folder), std::vector<std::string>{});
}

TEST_P(BadFileTest, FailsCleanlyWritesNothingWithinTheMemoryBound) {
  const BadFile& bad = GetParam();
  std::string input = dir / bad.file_name;
  WriteFile(input, bad.bytes());
  ProgramResult run = Convert({input});
  ExpectCleanFailure(run, input, bad.reason, dir / "out");
  RecordProperty("max_rss_kib", std::to_string(run.max_rss_kib));
  RecordProperty("message", run.err);
}

INSTANTIATE_TEST_SUITE_P(Cases, BadFileTest, ::testing::ValuesIn(kBadFiles),
                         [](const auto& test) { return std::string(test.param.name); });

class BadInputCli : public BadFileTest {};

// The pixel data after the rows ends the image: a stream inflating to 4 GiB behind an 8x8
// image is read only as far as the rows go, within the memory bound and in seconds.
TEST_F(BadInputCli, IdatInflatingToGigabytesIsReadOnlyAsFarAsTheRows) {
  std::string input = dir / "bomb4g.png";
  WriteFile(input, GreyPng(testing::DeflateZeros(std::uint64_t{4} << 30)));
  ProgramResult run = Convert({input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_LT(run.max_rss_kib, kMaxRssKib);
  EXPECT_LT(run.seconds, 60.0);
  EXPECT_TRUE(fs::exists(dir / "out/bomb4g.bmp"));
}

// A delta that jumps past the top of a run-length picture ends it, as rows past the top do:
// the picture reads, and (unchanged) is written back as the file it came from.
TEST_F(BadInputCli, RleDeltaPastTheTopEndsThePicture) {
  std::string input = dir / "rle8delta.bmp";
  std::string bytes = Rle8(std::string("\x04\x07\x00\x02\x00\xFF\x02\x01\x00\x01", 10));
  WriteFile(input, bytes);
  ProgramResult run = Convert({input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_LT(run.max_rss_kib, kMaxRssKib);
  EXPECT_EQ(ReadFile(dir / "out/rle8delta.bmp"), bytes);
}

// A compressed text inflating to 1 GiB: the image still converts, the text never held whole.
TEST_F(BadInputCli, ZtxtBombStaysWithinTheMemoryBound) {
  std::string input = dir / "ztxt.png";
  std::string text = std::string("Comment\0\0", 9) + testing::DeflateZeros(std::uint64_t{1} << 30);
  WriteFile(input, MakePng({Ihdr(8, 8), PngChunk("zTXt", text),
                            PngChunk("IDAT", Deflate(GreyRows(8, 8))), PngChunk("IEND", "")}));
  ProgramResult run = Convert({input});
  EXPECT_LT(run.max_rss_kib, kMaxRssKib);
  EXPECT_LT(run.seconds, 60.0);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(dir / "out/ztxt.bmp"));
}

// An empty BMP reads as an empty image, and an empty file that no plug-in accepts gives no
// image: the job passes both over, nothing written, no error. A name that is a folder ("x.png")
// is no file and is passed over the same way, and the drop goes on with the next name.
TEST_F(BadInputCli, EmptyBmpEmptyPluginFileAndAFolderNamedLikeAnImageArePassedOver) {
  WriteFile(dir / "empty.bmp", "");
  WriteFile(dir / "empty.gif", "");
  fs::create_directory(dir / "x.png");
  WriteFile(dir / "good.bmp", GoodBmp(3, 2));
  ProgramResult run =
      Convert({dir / "empty.bmp", dir / "empty.gif", dir / "x.png", dir / "good.bmp"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(FilesBelow(dir / "out"), std::vector<std::string>{dir / "out/good.bmp"});
}

// Names with spaces, a newline and bytes that are no UTF-8 are used as they are: a good file
// converts to the same odd name; a bad one is named in the message quoted for the terminal
// (control characters and invalid bytes escaped).
TEST_F(BadInputCli, OddFileNamesAreKeptByteForByte) {
  const std::string odd = "a b\nc\xFF\xFE\x82\xA0";
  WriteFile(dir / (odd + ".bmp"), GoodBmp(2, 2));
  ProgramResult good = Convert({dir / (odd + ".bmp")});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_TRUE(fs::exists(dir / ("out/" + odd + ".bmp")));

  std::string bad = dir / ("bad " + odd + ".bmp");
  WriteFile(bad, Bmp({.bits = 7}));
  fs::remove_all(dir / "out");
  const std::string quoted = "'" + dir / "bad a b'$'\\n''c'$'\\377\\376\\202\\240''.bmp'";
  ExpectCleanFailure(Convert({bad}), quoted, kInvalidBitmap, dir / "out");
}

// The output folder is a regular file: the folder cannot be made, the file stays as it was.
TEST_F(BadInputCli, OutputFolderThatIsARegularFile) {
  WriteFile(dir / "a.bmp", GoodBmp(2, 2));
  WriteFile(dir / "out", "a file, not a folder");
  ProgramResult run = Convert({dir / "a.bmp"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind(dir / "a.bmp: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(dir / "out"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(dir / "out"), "a file, not a folder");
}

// A mount made for one test and removed with it (lazily, so a busy mount cannot stay behind).
class ScopedMount {
 public:
  ScopedMount(const std::string& where, const std::string& options, unsigned long flags)
      : where_(where) {
    fs::create_directories(where);
    mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", flags, options.c_str()) == 0;
  }
  ~ScopedMount() {
    if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  // Makes the mount read-only.
  bool Remount(const std::string& options, unsigned long flags) {
    return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT | flags, options.c_str()) == 0;
  }

 private:
  std::string where_;
  bool mounted_ = false;
};

// A read-only output folder: a tmpfs mounted read-only, which even root cannot write (file
// permission bits would not stop root). The old output in it stays as it was.
TEST_F(BadInputCli, ReadOnlyOutputFolder) {
  ScopedMount mount(dir / "out", "size=1m", 0);
  if (!mount.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  WriteFile(dir / "out/a.bmp", "old output");
  if (!mount.Remount("size=1m", MS_RDONLY)) GTEST_SKIP() << "cannot remount read-only";
  WriteFile(dir / "a.bmp", GoodBmp(2, 2));
  ProgramResult run = Convert({dir / "a.bmp"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind(dir / "a.bmp: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(dir / "out/a.bmp"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(dir / "out/a.bmp"), "old output");
}

// The disk fills while the output is written (a 64 KiB tmpfs): the old output survives
// unchanged and no temporary file is left.
TEST_F(BadInputCli, FullDiskKeepsTheOldOutput) {
  ScopedMount mount(dir / "out", "size=64k", 0);
  if (!mount.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  WriteFile(dir / "out/a.bmp", "old output");
  WriteFile(dir / "a.bmp", GoodBmp(200, 200));  // 120 KB
  ProgramResult run = Convert({dir / "a.bmp"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind(dir / "a.bmp: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(dir / "out/a.bmp"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(dir / "out/a.bmp"), "old output");
  EXPECT_EQ(FilesBelow(dir / "out"), std::vector<std::string>{dir / "out/a.bmp"});
}

// The same without a mount: the file-size limit makes the write fail as a full disk does.
TEST_F(BadInputCli, WriteFailingPartwayKeepsTheOldOutput) {
  fs::create_directory(dir / "out");
  WriteFile(dir / "out/a.bmp", "old output");
  WriteFile(dir / "a.bmp", GoodBmp(200, 200));
  ProgramResult run = RunCli({"--ini", dir / "test.ini", "--out", dir / "out", "--format", "bmp",
                              "--overwrite", "--quiet", dir / "a.bmp"},
                             64 * 1024);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind(dir / "a.bmp: ", 0), 0u) << run.err;
  EXPECT_EQ(ReadFile(dir / "out/a.bmp"), "old output");
  EXPECT_EQ(FilesBelow(dir / "out"), std::vector<std::string>{dir / "out/a.bmp"});
}

// 10 MB of binary garbage as the INI file: read as a file without settings (the defaults), the
// conversion runs, the file is not touched, and memory stays bounded.
TEST_F(BadInputCli, TenMegabyteGarbageIniReadsAsDefaults) {
  std::string garbage(10 << 20, '\0');
  std::uint32_t state = 12345;
  for (char& c : garbage) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 23);
  }
  WriteFile(dir / "test.ini", garbage);
  WriteFile(dir / "a.bmp", GoodBmp(2, 2));
  ProgramResult run = Convert({dir / "a.bmp"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_LT(run.max_rss_kib, kMaxRssKib);
  EXPECT_TRUE(fs::exists(dir / "out/a.bmp"));
  EXPECT_EQ(ReadFile(dir / "test.ini"), garbage);

  // Saving settings into it keeps every garbage byte and adds the section.
  ProgramResult save = RunCli(
      {"--ini", dir / "test.ini", "--section", "tester", "--set", "JPEGQL=70", "--save-settings"});
  EXPECT_EQ(save.status, 0) << save.err;
  EXPECT_LT(save.max_rss_kib, kMaxRssKib);
  std::string saved = ReadFile(dir / "test.ini");
  EXPECT_EQ(saved.substr(0, garbage.size()), garbage);
  EXPECT_NE(saved.find("\n[tester]\n", garbage.size() - 1), std::string::npos);
}

}  // namespace
}  // namespace qv

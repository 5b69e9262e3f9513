// Tests of the streams: exact reads, the safe file writer, files that are not regular files.
#include "runtime/stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "runtime/exceptions.h"
#include "runtime/paths.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::TempDir;

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int Entries(const TempDir& dir) {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
}

TEST(MemoryStream, ReadBufferPastTheEndIsAReadError) {
  TMemoryStream stream;
  stream.WriteString("abcdef");
  stream.SetPosition(2);
  char buffer[4];
  stream.ReadBuffer(buffer, 4);
  EXPECT_EQ(std::string(buffer, 4), "cdef");
  stream.SetPosition(4);
  EXPECT_THROW(stream.ReadBuffer(buffer, 3), EReadError);
  EXPECT_EQ(EReadError().Message(), "ストリームの読み込みエラー");
}

TEST(MemoryStream, WritingPastTheEndGrowsAndSeekClampsAtZero) {
  TMemoryStream stream;
  stream.Seek(3, SeekOrigin::kBeginning);
  stream.WriteString("x");
  EXPECT_EQ(stream.Size(), 4);
  EXPECT_EQ(stream.Seek(-10, SeekOrigin::kCurrent), 0);
  EXPECT_EQ(stream.Seek(-1, SeekOrigin::kEnd), 3);
}

TEST(SafeFileStream, CommitReplacesTheFileAndKeepsItsMode) {
  TempDir dir;
  std::ofstream(dir / "out.bin") << "old";
  ::chmod((dir / "out.bin").c_str(), 0640);
  {
    TSafeFileStream out(dir / "out.bin");
    out.WriteString("new content");
    EXPECT_EQ(FileText(dir / "out.bin"), "old");  // nothing lands before Commit
    out.Commit();
  }
  EXPECT_EQ(FileText(dir / "out.bin"), "new content");
  struct stat st;
  ASSERT_EQ(::stat((dir / "out.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Entries(dir), 1);
}

TEST(SafeFileStream, AbandonedWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  std::ofstream(dir / "out.bin") << "precious";
  try {
    TSafeFileStream out(dir / "out.bin");
    out.WriteString("half");
    throw std::runtime_error("encoder failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(FileText(dir / "out.bin"), "precious");
  EXPECT_EQ(Entries(dir), 1);
}

TEST(SafeFileStream, UncreatableTargetsNameThePath) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  EXPECT_THROW(TSafeFileStream(dir / "folder"), EFCreateError);
  try {
    TSafeFileStream out(dir / "missing/x.bmp");
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_NE(e.Message().find(dir / "missing/x.bmp"), std::string::npos);
    // The system's reason, in the language of the messages.
    EXPECT_NE(e.Message().find(SystemErrorMessage(ENOENT)), std::string::npos) << e.Message();
  }
}

TEST(FileStream, OnlyRegularFilesOpen) {
  TempDir dir;
  std::filesystem::create_directory(dir / "x.png");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_THROW(TFileStream(dir / "x.png"), EFOpenError);
  EXPECT_THROW(TFileStream(dir / "fifo"), EFOpenError);  // must not block
  EXPECT_THROW(TFileStream(dir / "absent"), EFOpenError);
  std::ofstream(dir / "f") << "12345";
  EXPECT_EQ(ReadWholeFile(dir / "f").size(), 5u);
}

}  // namespace
}  // namespace qv

// Tests of the streams: exact reads, the safe file writer, files that are not regular files.
#include "runtime/stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "runtime/buffered_write_stream.h"
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

// A stream that hands out at most two bytes a read, as pipes and sockets may.
class TTrickleStream : public TReadOnlyMemoryStream {
 public:
  using TReadOnlyMemoryStream::TReadOnlyMemoryStream;
  std::size_t Read(void* buffer, std::size_t count) override {
    return TReadOnlyMemoryStream::Read(buffer, std::min<std::size_t>(count, 2));
  }
};

TEST(Stream, ReadUpToGoesOnAfterPartialReadsAndStopsAtTheEnd) {
  const std::uint8_t bytes[] = {'a', 'b', 'c', 'd', 'e'};
  TTrickleStream stream(bytes);
  char buffer[8] = {};
  EXPECT_EQ(stream.ReadUpTo(buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(stream.ReadUpTo(buffer, 8), 2u);
  EXPECT_EQ(std::string(buffer, 2), "de");
  EXPECT_EQ(stream.ReadUpTo(buffer, 8), 0u);
  stream.SetPosition(1);
  stream.ReadBuffer(buffer, 4);
  EXPECT_EQ(std::string(buffer, 4), "bcde");
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

// A memory stream that counts the writes reaching it and can be made to fail.
class TCountingStream : public TMemoryStream {
 public:
  std::size_t Write(const void* buffer, std::size_t count) override {
    ++writes;
    if (fail) throw EWriteError();
    return TMemoryStream::Write(buffer, count);
  }
  int writes = 0;
  bool fail = false;
};

TEST(BufferedWriteStream, SmallPiecesReachTheTargetInBlocksAtTheRightPositions) {
  TCountingStream target;
  target.WriteString("head");
  TBufferedWriteStream buffered(target, 16);
  EXPECT_EQ(buffered.Position(), 4);
  for (int i = 0; i < 10; ++i) buffered.WriteString("abc");
  EXPECT_EQ(buffered.Position(), 34);          // the held bytes count
  buffered.WriteString(std::string(40, 'L'));  // larger than the buffer: straight through
  EXPECT_EQ(buffered.Position(), 74);
  buffered.WriteString("z");
  buffered.Flush();
  EXPECT_EQ(target.writes, 1 + 2 + 1 + 1);  // head, two blocks of pieces, the large one, "z"
  std::string expected = "head" + std::string(30, ' ') + std::string(40, 'L') + "z";
  for (int i = 0; i < 10; ++i) expected.replace(4 + 3 * static_cast<std::size_t>(i), 3, "abc");
  EXPECT_EQ(std::string(target.Bytes().begin(), target.Bytes().end()), expected);

  // A seek passes the held bytes on first; writing then goes on from the new position.
  buffered.WriteString("12");
  buffered.SetPosition(0);
  buffered.WriteString("H");
  buffered.Flush();
  EXPECT_EQ(std::string(target.Bytes().begin(), target.Bytes().begin() + 4), "Head");
  EXPECT_EQ(target.Bytes().size(), expected.size() + 2);
}

TEST(BufferedWriteStream, AFailingTargetSurfacesAtFlushOnce) {
  TCountingStream target;
  TBufferedWriteStream buffered(target, 64);
  buffered.WriteString("pieces");
  target.fail = true;
  EXPECT_THROW(buffered.Flush(), EWriteError);
  target.fail = false;
  buffered.Flush();  // the failed bytes are not sent again
  EXPECT_TRUE(target.Bytes().empty());
}

}  // namespace
}  // namespace qv

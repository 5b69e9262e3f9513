// End-to-end tests of quenvale-cli converting several files at once where resources run out
// (descriptors, disk space, a signal) and on file systems that ignore case or forbid removing
// names: each run with -j N is compared with -j 1 on the same list.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "regress/cli_under_test.h"
#include "regress/crafted_files.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::BmpFields;
using testing::ChildOptions;
using testing::CliOptions;
using testing::CliUnderTest;
using testing::MakeBmp;
using testing::ProgramResult;
using testing::ReadFile;
using testing::RunCli;
using testing::TChildProcess;
using testing::TempDir;
using testing::WriteFile;

// A 24-bit W x H BMP whose pixels depend on seed, so that outputs differ.
std::string Bmp(int width, int height, int seed = 0) {
  BmpFields f;
  f.width = width;
  f.height = height;
  std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::string pixels(row * static_cast<std::size_t>(height), '\0');
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed) * 29) % 251);
  return MakeBmp(f, pixels);
}

// A folder's files and their bytes.
std::map<std::string, std::string> Files(const std::string& folder) {
  std::map<std::string, std::string> files;
  if (fs::exists(folder))
    for (const auto& entry : fs::directory_iterator(folder))
      files[entry.path().filename().string()] = ReadFile(entry.path().string());
  return files;
}

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

// What a run did: its status, its messages (the run's output folder written as OUT) and every
// file of its output folder.
struct TRun {
  int status = -1;
  std::string err;
  std::map<std::string, std::string> outputs;
  bool operator==(const TRun&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TRun& run) {
  out << "status " << run.status << ", " << run.outputs.size() << " files";
  if (run.outputs.size() <= 16)
    for (const auto& [name, bytes] : run.outputs) out << " " << name << " (" << bytes.size() << ")";
  return out << "\n" << run.err;
}

// A file system mounted for a test and unmounted after it; Mounted() is false (with the reason)
// where the system refuses it.
class TMount {
 public:
  TMount(const TMount&) = delete;
  TMount& operator=(const TMount&) = delete;
  ~TMount() {
    if (!mounted_) return;
    if (fuse_) {
      [[maybe_unused]] int status =
          std::system(("fusermount -u '" + point_ + "' 2>/dev/null").c_str());
    } else {
      ::umount2(point_.c_str(), MNT_DETACH);
    }
  }
  // A tmpfs of bytes at point.
  static std::unique_ptr<TMount> Tmpfs(const std::string& point, std::uint64_t bytes) {
    auto mount = std::unique_ptr<TMount>(new TMount(point, false));
    fs::create_directories(point);
    const std::string options = "size=" + std::to_string(bytes);
    mount->mounted_ = ::mount("tmpfs", point.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mount->mounted_) mount->refusal_ = "mounting a tmpfs was refused (needs root)";
    return mount;
  }
  // A FAT file system in image, through fusefat (no kernel module, no unnamed files, names
  // compared without case).
  static std::unique_ptr<TMount> Fat(const std::string& image, const std::string& point) {
    auto mount = std::unique_ptr<TMount>(new TMount(point, true));
    fs::create_directories(point);
    const std::string make = "truncate -s 16M '" + image + "' && mkfs.vfat '" + image +
                             "' >/dev/null 2>&1 && fusefat -o rw+ '" + image + "' '" + point +
                             "' >/dev/null 2>&1";
    mount->mounted_ = std::system(make.c_str()) == 0;
    if (!mount->mounted_)
      mount->refusal_ = "no FAT file system through fusefat (mkfs.vfat, fusefat and /dev/fuse)";
    return mount;
  }
  bool Mounted() const { return mounted_; }
  const std::string& Refusal() const { return refusal_; }

 private:
  TMount(std::string point, bool fuse) : point_(std::move(point)), fuse_(fuse) {}
  std::string point_;
  bool fuse_;
  bool mounted_ = false;
  std::string refusal_;
};

class ParallelEdges : public ::testing::Test {
 protected:
  // Converts inputs into out with jobs at once and options; the messages with out as OUT.
  TRun Convert(const std::vector<std::string>& inputs, const std::string& out, int jobs,
               std::vector<std::string> options = {}, const ChildOptions& child = {}) {
    std::vector<std::string> args = {"--ini", dir / "test.ini",    "-v", "--out", out,
                                     "-j",    std::to_string(jobs)};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), inputs.begin(), inputs.end());
    ProgramResult result = RunCli(args, child, 300);
    TRun run;
    run.status = result.timed_out ? -2 : result.status;
    run.err = result.err;
    for (std::size_t at; (at = run.err.find(out)) != std::string::npos;)
      run.err.replace(at, out.size(), "OUT");
    run.outputs = Files(out);
    return run;
  }
  // A first file that takes a while (a big picture resized with Lanczos3), then count small ones.
  std::vector<std::string> SlowFirstThenSmall(int count) {
    std::vector<std::string> inputs = {dir / "slow.bmp"};
    WriteFile(inputs.back(), Bmp(3000, 2000, 99));
    for (int i = 0; i < count; ++i) {
      inputs.push_back(dir / ("s" + std::to_string(i) + ".bmp"));
      WriteFile(inputs.back(), Bmp(40, 30, i));
    }
    return inputs;
  }
  TempDir dir;
};

// With few descriptors a run with many workers converts what one after the other converts: the
// workers are fewer, and the outputs that wait behind a slow first file hold none.
TEST_F(ParallelEdges, FewDescriptorsFailNoFile) {
  std::vector<std::string> inputs = SlowFirstThenSmall(300);
  const std::vector<std::string> options = {"--size", "64x48", "--resample", "lanczos3"};
  ChildOptions child;
  child.open_files_limit = 64;
  TRun one = Convert(inputs, dir / "one", 1, options, child);
  ASSERT_EQ(one.status, 0) << one;
  ASSERT_EQ(one.outputs.size(), inputs.size());
  TRun many = Convert(inputs, dir / "many", 128, options, child);
  EXPECT_EQ(many, one);
}

// A disk that fills up: the outputs waiting behind a slow first file do not take its room, so the
// same files are written and the same file fails as one after the other, with and without
// keep-going.
TEST_F(ParallelEdges, AFullDiskFailsTheFileItFailsOneAfterTheOther) {
  // Outputs of 64 x 48 at 24 bits take three pages each: room for 9 and a half.
  auto mount = TMount::Tmpfs(dir / "disk", 9 * 3 * 4096 + 6000);
  if (!mount->Mounted()) GTEST_SKIP() << mount->Refusal();
  std::vector<std::string> inputs = SlowFirstThenSmall(14);
  const std::vector<std::string> options = {"--size",   "64x48",    "--resample",
                                            "lanczos3", "--format", "bmp"};
  for (bool keep_going : {false, true}) {
    std::vector<std::string> run_options = options;
    if (keep_going) run_options.push_back("-k");
    fs::remove_all(dir / "disk/one");
    TRun one = Convert(inputs, dir / "disk/one", 1, run_options);
    ASSERT_EQ(one.status, 1) << one;
    ASSERT_GT(one.outputs.size(), 1u) << one;
    ASSERT_LT(one.outputs.size(), inputs.size()) << one;
    const std::map<std::string, std::string> written = one.outputs;
    fs::remove_all(dir / "disk/one");
    TRun many = Convert(inputs, dir / "disk/many", 3, run_options);
    fs::remove_all(dir / "disk/many");
    EXPECT_EQ(many.status, one.status) << keep_going;
    EXPECT_EQ(many.err, one.err) << keep_going;
    EXPECT_TRUE(many.outputs == written) << keep_going << ": " << many;
  }
}

// On a file system without unnamed files, SIGINT while many outputs wait their turn as named
// temporary files removes every one of them.
TEST_F(ParallelEdges, ASignalRemovesEveryWaitingOutput) {
  auto mount = TMount::Fat(dir / "fat.img", dir / "fat");
  if (!mount->Mounted()) GTEST_SKIP() << mount->Refusal();
  std::vector<std::string> inputs = SlowFirstThenSmall(60);
  std::vector<std::string> args = {
      "--ini",      dir / "test.ini", "--quiet", "--out", dir / "fat/out", "--size", "64x48",
      "--resample", "lanczos3",       "-j",      "8"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  TChildProcess child(CliUnderTest(), args, CliOptions());
  // Interrupted once more temporary files wait than the handler once knew.
  auto temporaries = [&] {
    int count = 0;
    if (fs::exists(dir / "fat/out"))
      for (const auto& entry : fs::directory_iterator(dir / "fat/out"))
        count += Contains(entry.path().filename().string(), ".qvtmp-");
    return count;
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (temporaries() <= 8 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_GT(temporaries(), 8) << "the first file was done before the others waited";
  child.Signal(SIGINT);
  ProgramResult end = child.Wait(60);
  EXPECT_EQ(end.status, 128 + SIGINT) << end.err;
  std::string left;
  for (const auto& entry : fs::directory_iterator(dir / "fat/out"))
    if (Contains(entry.path().filename().string(), ".qvtmp-")) left += " " + entry.path().string();
  EXPECT_EQ(temporaries(), 0) << "left:" << left;
}

// Two inputs whose outputs differ only in case are one file where case is ignored: without
// overwriting, the first one's output stays and the second is passed over, as one after the
// other passes it over.
TEST_F(ParallelEdges, OutputsDifferingInCaseOnlyAreOneFileWhereCaseIsIgnored) {
  auto mount = TMount::Fat(dir / "fat.img", dir / "fat");
  if (!mount->Mounted()) GTEST_SKIP() << mount->Refusal();
  WriteFile(dir / "A.bmp", Bmp(900, 700, 1));  // takes longer than the second
  fs::create_directory(dir / "lower");
  WriteFile(dir / "lower/a.bmp", Bmp(20, 10, 2));
  const std::vector<std::string> inputs = {dir / "A.bmp", dir / "lower/a.bmp"};
  TRun one = Convert(inputs, dir / "fat/one", 1, {"--format", "png"});
  ASSERT_EQ(one.status, 0) << one;
  ASSERT_EQ(one.outputs.size(), 1u) << one;
  TRun many = Convert(inputs, dir / "fat/many", 2, {"--format", "png"});
  EXPECT_EQ(many, one);
}

// A folder that forbids removing names (append-only): an existing output cannot be replaced and
// the error names the folder, a new output is written, and no temporary file is left, with one
// job or two. A second input with the same output is told nothing of an output that was never
// put in place.
TEST_F(ParallelEdges, AnAppendOnlyFolderLeavesNothingBehind) {
  fs::create_directories(dir / "out");
  // The folder's append-only flag, set while the object lives.
  struct TAppendOnly {
    explicit TAppendOnly(std::string path) : folder(std::move(path)) {
      set = std::system(("chattr +a '" + folder + "' 2>/dev/null").c_str()) == 0;
    }
    ~TAppendOnly() {
      if (set) {
        [[maybe_unused]] int status = std::system(("chattr -a '" + folder + "'").c_str());
      }
    }
    std::string folder;
    bool set;
  };
  WriteFile(dir / "out/a.png", "the old a");
  TAppendOnly append_only(dir / "out");
  if (!append_only.set) GTEST_SKIP() << "chattr +a was refused (needs root and ext4 or tmpfs)";
  WriteFile(dir / "a.bmp", Bmp(30, 20, 1));
  WriteFile(dir / "b.bmp", Bmp(30, 20, 2));
  fs::create_directory(dir / "sub");
  WriteFile(dir / "sub/a.bmp", Bmp(30, 20, 3));
  const std::vector<std::string> inputs = {dir / "a.bmp", dir / "sub/a.bmp", dir / "b.bmp"};
  const std::vector<std::string> options = {"--format", "png", "--overwrite", "-k"};
  TRun one = Convert(inputs, dir / "out", 1, options);
  EXPECT_EQ(one.status, 1) << one;
  EXPECT_TRUE(Contains(one.err, "OUT")) << one;
  EXPECT_FALSE(Contains(one.err, "same output")) << one;
  std::map<std::string, std::string> outputs = one.outputs;
  EXPECT_EQ(outputs.size(), 2u) << one;
  EXPECT_EQ(outputs["a.png"], "the old a");
  // Written now, it stays: the next runs fail on it as well.
  TRun many = Convert(inputs, dir / "out", 2, options);
  EXPECT_EQ(many.err, Convert(inputs, dir / "out", 1, options).err);
  EXPECT_EQ(many.status, 1);
  EXPECT_TRUE(many.outputs == outputs) << many;
}

// An output that cannot be put in place (another user's file in a sticky folder) is no output
// of the drop: a later input with the same output hears nothing of it, with one job or two.
TEST_F(ParallelEdges, AnOutputThatCouldNotBePutInPlaceIsNoneOfTheDrop) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to other users";
  constexpr uid_t kOther = 4242;
  fs::create_directories(dir / "out");
  ASSERT_EQ(::chmod((dir / "out").c_str(), 01777), 0);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  WriteFile(dir / "out/a.png", "root's a");
  ASSERT_EQ(::chmod((dir / "out/a.png").c_str(), 0666), 0);  // writable, but not renamed over
  fs::create_directory(dir / "sub");
  WriteFile(dir / "a.bmp", Bmp(30, 20, 1));
  WriteFile(dir / "sub/a.bmp", Bmp(30, 20, 2));
  const std::vector<std::string> inputs = {dir / "a.bmp", dir / "sub/a.bmp"};
  const std::vector<std::string> options = {"--format", "png", "--overwrite", "-k"};
  ChildOptions other;
  other.uid = kOther;
  TRun one = Convert(inputs, dir / "out", 1, options, other);
  if (one.status == 126 || one.status == 127)
    GTEST_SKIP() << "the program cannot be run as another user here (a folder above the build is "
                    "closed to other users)";
  ASSERT_EQ(one.status, 1) << one;
  EXPECT_EQ(ReadFile(dir / "out/a.png"), "root's a");
  EXPECT_FALSE(Contains(one.err, "same output")) << one;
  EXPECT_EQ(Convert(inputs, dir / "out", 2, options, other), one);
}

}  // namespace
}  // namespace qv

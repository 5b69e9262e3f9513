// Fuzz target: a PDF drop of JPEG files through the batch run, as quenvale-cli makes one.
//
// Input layout: byte 0 picks the drop, the rest is a JPEG file written to a scratch folder.
// Byte 0 bit 0: the file is dropped twice (two pages); bit 1: a small valid JPEG comes first;
// bit 2: the page is re-compressed (quality from bits 3-7) instead of embedded unchanged.
// A drop that succeeds must leave a PDF whose cross-reference table points at its objects and
// whose image objects carry the file's size; one that fails must fail with the system's own
// message and leave no file but the inputs and at most the PDF behind.
#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_host.h"
#include "app/batch_run.h"
#include "app/job_host.h"
#include "codecs/jpeg/jpeg_image.h"
#include "fuzz_check.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "settings/job_settings.h"

namespace {

// Larger pictures only slow the search down (the page decodes the file).
constexpr std::int64_t kMaxFuzzPixels = std::int64_t{1} << 18;

struct TSettings : qv::IJobSettings {
  bool recompress = false;
  int quality = 75;
  std::string Stored(qv::TSetting setting) const override {
    switch (setting) {
      case qv::TSetting::kOverWrite: return "1";
      case qv::TSetting::kFileFormat: return "3";
      case qv::TSetting::kSepiaMode: return recompress ? "1" : "0";
      case qv::TSetting::kJPEGQL: return std::to_string(quality);
      case qv::TSetting::kPNGCL: return "6";
      default: return qv::RowOf(setting).default_value;
    }
  }
};

struct THost : qv::IJobHost, qv::IBatchHost {
  std::string pdf;
  qv::TCursor cursor = qv::TCursor::crDefault;
  qv::TCursor Cursor() const override { return cursor; }
  void SetCursor(qv::TCursor c) override { cursor = c; }
  void ShowErrorMessage(const std::string&, const std::string&) override {}
  std::pair<int, int> PrimaryDisplaySize() override { return {640, 480}; }
  void ReadByPlugins(const std::string&, qv::TBitmap&) override {}
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
  void SetProgressVisible(bool) override {}
  std::string Caption() const override { return {}; }
  void SetCaption(const std::string&) override {}
  void ProcessMessages() override {}
  std::optional<std::string> AskPdfFileName() override { return pdf; }
  void ReportError(std::exception_ptr) override {}
};

// A scratch folder of the process (in memory where the system has one), made once.
const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm/qv-fuzz-pdf-XXXXXX" : "/tmp/qv-fuzz-pdf-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/";
  }();
  // The folder goes when the process ends (libFuzzer ends by exit()); registered once the name
  // is made, so it runs while the name still exists.
  static const bool cleanup = (std::atexit([] {
                                 std::error_code ignored;
                                 std::filesystem::remove_all(Folder(), ignored);
                               }),
                               true);
  (void)cleanup;
  return folder;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FolderNames() {
  std::vector<std::string> names;
  if (DIR* dir = opendir(Folder().c_str())) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    closedir(dir);
  }
  return names;
}

// A small valid JPEG (8 x 8, grey), made once with the project's own encoder.
const std::string& SmallJpeg() {
  static const std::string bytes = [] {
    qv::TBitmap image;
    image.Allocate(8, 8, qv::TPixelFormat::pf24bit);
    qv::TJPEGImage jpeg;
    jpeg.Assign(image);
    qv::TMemoryStream out;
    jpeg.SaveToStream(out);
    return std::string(out.Bytes().begin(), out.Bytes().end());
  }();
  return bytes;
}

// The PDF's cross-reference table: every in-use entry's offset starts "N 0 obj".
void CheckCrossReferences(const std::string& pdf) {
  QV_FUZZ_CHECK(pdf.rfind("%PDF-", 0) == 0);
  std::size_t start = pdf.rfind("startxref");
  QV_FUZZ_CHECK(start != std::string::npos);
  std::size_t xref = std::strtoull(pdf.c_str() + start + 9, nullptr, 10);
  QV_FUZZ_CHECK(xref < pdf.size() && pdf.compare(xref, 4, "xref") == 0);
  unsigned first = 0, count = 0;
  QV_FUZZ_CHECK(std::sscanf(pdf.c_str() + xref + 4, "%u %u", &first, &count) == 2);
  std::size_t line = pdf.find('\n', pdf.find('\n', xref) + 1) + 1;
  for (unsigned i = 0; i < count; ++i, line += 20) {
    QV_FUZZ_CHECK(line + 20 <= pdf.size());
    if (pdf[line + 17] != 'n') continue;
    std::size_t offset = std::strtoull(pdf.c_str() + line, nullptr, 10);
    std::string object = std::to_string(first + i) + " 0 obj";
    QV_FUZZ_CHECK(offset < pdf.size() && pdf.compare(offset, object.size(), object) == 0);
  }
}

// True when key is followed by value and then a byte that is no digit.
bool HasNumber(const std::string& pdf, const std::string& key, int value) {
  std::string text = key + std::to_string(value);
  for (std::size_t at = pdf.find(text); at != std::string::npos; at = pdf.find(text, at + 1)) {
    std::size_t end = at + text.size();
    if (end < pdf.size() && (pdf[end] < '0' || pdf[end] > '9')) return true;
  }
  return false;
}

}  // namespace

QV_FUZZ_ENTRY(pdf_drop) {
  if (size < 1) return 0;
  const std::uint8_t settings_byte = data[0];
  const std::string folder = Folder();
  const std::string page = folder + "page.jpg", first = folder + "first.jpg",
                    pdf = folder + "drop.pdf";
  std::remove(pdf.c_str());
  WriteFile(page, data + 1, size - 1);

  // The size the header declares, when it can be read at all.
  int width = -1, height = -1;
  try {
    qv::TReadOnlyMemoryStream stream({data + 1, size - 1});
    qv::TJPEGImage header;
    header.LoadFromStream(stream);
    width = header.Width();
    height = header.Height();
    if (static_cast<std::int64_t>(width) * height > kMaxFuzzPixels) return 0;
  } catch (const qv::Exception&) {
  }

  std::vector<std::string> files;
  if (settings_byte & 2) {
    WriteFile(first, reinterpret_cast<const std::uint8_t*>(SmallJpeg().data()), SmallJpeg().size());
    files.push_back(first);
  }
  files.push_back(page);
  if (settings_byte & 1) files.push_back(page);

  TSettings settings;
  settings.recompress = (settings_byte & 4) != 0;
  settings.quality = 1 + (settings_byte >> 3) * 3;
  THost host;
  host.pdf = pdf;
  bool done = false;
  try {
    qv::TBatchRun run(settings, host, host);
    run.FileDrop(files);
    done = true;
  } catch (const qv::Exception&) {
    // The clean failure: the system's own message.
  } catch (...) {
    QV_FUZZ_CHECK(false);  // a library's exception text would reach the user
  }
  for (const std::string& name : FolderNames())
    QV_FUZZ_CHECK(name == "page.jpg" || name == "first.jpg" || name == "drop.pdf");
  if (done) {
    std::string bytes = ReadFile(pdf);
    CheckCrossReferences(bytes);
    if (width > 0 && !settings.recompress) {
      QV_FUZZ_CHECK(HasNumber(bytes, "/Width ", width) && HasNumber(bytes, "/Height ", height));
    }
  }
  std::remove(first.c_str());
  return 0;
}

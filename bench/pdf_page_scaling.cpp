// How a PDF drop's time grows with its page count: drops of 2000 and 8000 small pages (a 32 x 24
// JPEG embedded unchanged), each page added by the PDF steps the batch run calls and the file
// written once at the end. Prints the time of the pages, of the writing and the ratio of the
// totals; a drop that scales linearly gives about 4.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/pdf_steps.h"
#include "codecs/jpeg/jpeg_image.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

struct Timing {
  double pages = 0;
  double write = 0;
  std::uintmax_t bytes = 0;
};

Timing Drop(int pages, const std::string &jpeg_path, const std::string &pdf_path,
            const qv::TBitmap &image) {
  Timing timing;
  qv::TPReportPtr report = qv::CreatePdfWriter();
  qv::BeginPdfDrop(*report, pdf_path);
  Clock::time_point start = Clock::now();
  for (int i = 0; i < pages; ++i) qv::AddPdfPage(*report, image, jpeg_path, true, 85);
  Clock::time_point added = Clock::now();
  qv::EndPdfDrop(*report);
  Clock::time_point written = Clock::now();
  timing.pages = Seconds(start, added);
  timing.write = Seconds(added, written);
  timing.bytes = std::filesystem::file_size(pdf_path);
  return timing;
}

}  // namespace

int main(int argc, char **argv) {
  const int small = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int large = argc > 2 ? std::atoi(argv[2]) : 4 * small;
  const std::string folder = std::filesystem::temp_directory_path() / "quenvale-pdf-scaling";
  std::filesystem::create_directories(folder);
  const std::string jpeg_path = folder + "/page.jpg";
  const std::string pdf_path = folder + "/drop.pdf";

  qv::TBitmap image;
  image.Allocate(32, 24, qv::TPixelFormat::pf24bit);
  for (int y = 0; y < image.Height(); ++y)
    for (std::size_t i = 0; i < image.RowSize(); ++i)
      image.ScanLine(y)[i] = static_cast<std::uint8_t>(i * 5 + static_cast<std::size_t>(y) * 9);
  {
    qv::TJPEGImage jpeg;
    jpeg.Assign(image);
    jpeg.SaveToFile(jpeg_path);
  }

  // A first small drop, so both measured drops replace an existing file the same way (the first
  // file written also pays for whatever the file system still had to write out).
  Drop(100, jpeg_path, pdf_path, image);
  std::printf("%8s %10s %10s %10s %12s\n", "pages", "pages s", "write s", "total s", "file bytes");
  Timing timings[2];
  int counts[2] = {small, large};
  for (int i = 0; i < 2; ++i) {
    timings[i] = Drop(counts[i], jpeg_path, pdf_path, image);
    std::printf("%8d %10.3f %10.3f %10.3f %12ju\n", counts[i], timings[i].pages, timings[i].write,
                timings[i].pages + timings[i].write, timings[i].bytes);
  }
  std::printf("ratio %d / %d pages: pages %.2f, write %.2f, total %.2f\n", large, small,
              timings[1].pages / timings[0].pages, timings[1].write / timings[0].write,
              (timings[1].pages + timings[1].write) / (timings[0].pages + timings[0].write));
  std::filesystem::remove_all(folder);
  return 0;
}

// Peak memory of a PDF drop: 200 pages of 1600 x 1200, each page a JPEG added by the PDF steps,
// the document written once at the end. Prints the peak resident size at each phase.
#include <sys/resource.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "app/image_io.h"
#include "app/pdf_steps.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"

namespace {

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

qv::TBitmap Pattern(int width, int height) {
  qv::TBitmap image;
  image.Allocate(width, height, qv::TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t *row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x * 7 + y);
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 3);
      row[3 * x + 2] = static_cast<std::uint8_t>((x ^ y) & 0xFF);
    }
  }
  return image;
}

std::vector<std::uint8_t> Encode(const qv::TBitmap &image, int quality) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(image.Width());
  cinfo.image_height = static_cast<JDIMENSION>(image.Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[1] = {
        const_cast<JSAMPROW>(image.ScanLine(static_cast<int>(cinfo.next_scanline)))};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

}  // namespace

int main(int argc, char **argv) {
  const int pages = argc > 1 ? std::atoi(argv[1]) : 200;
  const std::string folder = std::filesystem::temp_directory_path() / "quenvale-pdf-bench";
  std::filesystem::create_directories(folder);
  const std::string jpeg_path = folder + "/page.jpg";
  const std::string pdf_path = folder + "/drop.pdf";

  std::printf("peak before anything: %ld KiB\n", PeakKiB());
  std::size_t jpeg_size = 0;
  {
    qv::TBitmap image = Pattern(1600, 1200);
    std::vector<std::uint8_t> jpeg = Encode(image, 85);
    jpeg_size = jpeg.size();
    std::ofstream(jpeg_path, std::ios::binary)
        .write(reinterpret_cast<const char *>(jpeg.data()),
               static_cast<std::streamsize>(jpeg.size()));
  }
  std::printf("JPEG of one page: %zu bytes; peak after making it: %ld KiB\n", jpeg_size, PeakKiB());

  // Each page as the job sees it: one decoded image at a time, then its page.
  // "embed" or "compress" measures one kind alone (the peak is the whole process's); both by
  // default.
  const std::string mode = argc > 2 ? argv[2] : "both";
  for (bool embed : {true, false}) {
    if ((mode == "embed" && !embed) || (mode == "compress" && embed)) continue;
    qv::TPReportPtr report = qv::CreatePdfWriter();
    qv::BeginPdfDrop(*report, pdf_path);
    try {
      for (int i = 0; i < pages; ++i) {
        qv::TBitmap image = Pattern(1600, 1200);
        qv::AddPdfPage(*report, image, jpeg_path, embed, 85);
      }
    } catch (const qv::Exception &e) {
      std::printf("%s pages: not measured (%s)\n", embed ? "embedded" : "compressed",
                  e.Message().c_str());
      continue;
    }
    long before_end = PeakKiB();
    qv::EndPdfDrop(*report);
    std::printf(
        "%s pages: %d; peak after the pages: %ld KiB; peak after EndDoc: %ld KiB; file %ju bytes\n",
        embed ? "embedded" : "compressed", pages, before_end, PeakKiB(),
        static_cast<std::uintmax_t>(std::filesystem::file_size(pdf_path)));
  }
  std::filesystem::remove_all(folder);
  return 0;
}

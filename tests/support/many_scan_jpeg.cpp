// MakeManyScanJpeg: libjpeg's compressor with a scan script of our own.
#include "support/many_scan_jpeg.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

namespace qv::testing {

namespace {

// The script: for coefficient band k (0 is DC), a first scan at 10 bits less, then ten
// refinements of one bit each.
std::vector<jpeg_scan_info> Script(int scans) {
  std::vector<jpeg_scan_info> script;
  for (int k = 0; k < 64 && static_cast<int>(script.size()) < scans; ++k)
    for (int al = 10; al >= 0 && static_cast<int>(script.size()) < scans; --al) {
      jpeg_scan_info scan{};
      scan.comps_in_scan = 1;
      scan.component_index[0] = 0;
      scan.Ss = k;
      scan.Se = k;
      scan.Ah = al == 10 ? 0 : al + 1;
      scan.Al = al;
      script.push_back(scan);
    }
  return script;
}

}  // namespace

std::vector<std::uint8_t> MakeManyScanJpeg(int width, int height, int scans) {
  if (scans < 0 || scans > kMostPossibleScans) throw std::invalid_argument("scan count");
  std::vector<jpeg_scan_info> script = Script(scans);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);  // a test helper: libjpeg's own exit is fine here
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  if (scans > 0) {
    cinfo.scan_info = script.data();
    cinfo.num_scans = static_cast<int>(script.size());
  }
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width));
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < width; ++x)
      row[static_cast<std::size_t>(x)] =
          static_cast<JSAMPLE>((x * 7 + static_cast<int>(cinfo.next_scanline) * 3) & 0xFF);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

}  // namespace qv::testing

// Helpers of the PDF tests.
#include "pdf_test_support.h"

#include <dirent.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <jpeglib.h>

#include "support/child_process.h"

namespace qv::pdf_test {

TBitmap PatternImage(int width, int height, int salt) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t *row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>((x * 255) / (width > 1 ? width - 1 : 1));  // blue
      row[3 * x + 1] =
          static_cast<std::uint8_t>((y * 255) / (height > 1 ? height - 1 : 1));  // green
      row[3 * x + 2] = static_cast<std::uint8_t>((salt * 60 + 40) & 0xFF);       // red
    }
  }
  return image;
}

std::vector<std::uint8_t> EncodeJpeg(const TBitmap &image, int quality) {
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
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(image.Width()) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const std::uint8_t *row = image.ScanLine(static_cast<int>(cinfo.next_scanline));
    for (int x = 0; x < image.Width(); ++x) {
      rgb[3 * x] = row[3 * x + 2];
      rgb[3 * x + 1] = row[3 * x + 1];
      rgb[3 * x + 2] = row[3 * x];
    }
    JSAMPROW rows[1] = {rgb.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

CommandResult RunCommand(const std::string &command) {
  testing::ProgramResult run = testing::RunProgram("/bin/sh", {"-c", command + " 2>&1"});
  return {run.status, run.out + run.err};
}

std::vector<std::string> ListFolder(const std::string &path) {
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(path))
    names.push_back(entry.path().filename());
  return names;
}

bool ReadPpm(const std::string &path, int &width, int &height, std::vector<std::uint8_t> &rgb) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maximum = 0;
  if (!(in >> magic >> width >> height >> maximum) || magic != "P6" || maximum != 255) return false;
  in.get();
  rgb.resize(static_cast<std::size_t>(width) * height * 3);
  in.read(reinterpret_cast<char *>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
  return static_cast<bool>(in);
}

CommaLocale::CommaLocale() {
  const char *current = std::setlocale(LC_ALL, nullptr);
  previous_ = current ? current : "C";
  for (const char *name :
       {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      char text[16];
      std::snprintf(text, sizeof text, "%.1f", 1.5);
      if (std::string(text) == "1,5") {
        active_ = true;
        return;
      }
    }
  }
  std::setlocale(LC_ALL, previous_.c_str());
}

CommaLocale::~CommaLocale() { std::setlocale(LC_ALL, previous_.c_str()); }

}  // namespace qv::pdf_test

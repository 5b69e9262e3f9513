// The PDF steps of a drop: the report of the drop and the page of each converted file.
#pragma once

#include <memory>
#include <string>

#include "pdf/pdf_graphic.h"

namespace qv {

class TBitmap;
class TJPEGImage;
class TPReport;

struct TPReportDeleter {
  void operator()(TPReport* report) const;
};
using TPReportPtr = std::unique_ptr<TPReport, TPReportDeleter>;

// The main window's report "PDFWriter" with its design-time settings.
TPReportPtr CreatePdfWriter();

// Sets the report's file name and Flate compression and begins a new document (discarding any
// document an earlier drop left open).
void BeginPdfDrop(TPReport& report, const std::string& file_name);

// The picture of one page: the JPEG bytes it embeds and the page's pixel size. Made apart from
// the report, so pictures can be made on several threads and printed in list order.
struct TPdfPagePicture {
  TPdfJpegGraphic jpeg;
  int width = 0;
  int height = 0;
};

// The picture of the image's pixel size: the bytes of input_file (a JPEG) unchanged with
// embed_input_file, otherwise the image compressed at jpeg_quality.
TPdfPagePicture MakePdfPagePicture(const TBitmap& image, const std::string& input_file,
                                   bool embed_input_file, int jpeg_quality);
// The picture of the JPEG's header size embedding its compressed bytes; nothing is decoded.
TPdfPagePicture MakePdfPagePicture(const TJPEGImage& jpeg);
// Adds one page showing the picture.
void PrintPdfPage(TPReport& report, const TPdfPagePicture& picture);

// Adds one page of the image's pixel size. With embed_input_file the page embeds the bytes of
// input_file (a JPEG) unchanged; otherwise the image is compressed at jpeg_quality.
void AddPdfPage(TPReport& report, const TBitmap& image, const std::string& input_file,
                bool embed_input_file, int jpeg_quality);

// Ends the document and writes the file; a document without pages writes nothing and leaves any
// file at the chosen path untouched.
void EndPdfDrop(TPReport& report);

}  // namespace qv

// The PDF steps of a drop: the report of the drop and the page of each converted file.
#pragma once

#include <memory>
#include <string>

namespace qv {

class TBitmap;
class TJPEGImage;
class TPReport;
class TPdfJpegGraphic;

struct TPReportDeleter {
  void operator()(TPReport* report) const;
};
using TPReportPtr = std::unique_ptr<TPReport, TPReportDeleter>;

// The picture a page embeds: the image's compressed bytes (shared, not copied) with the facts the
// image knows of them. An image that holds only decoded pixels must be compressed first; one
// without bytes makes an empty picture.
TPdfJpegGraphic PdfJpegGraphicOf(const TJPEGImage& jpeg);

// The main window's report "PDFWriter" with its design-time settings.
TPReportPtr CreatePdfWriter();

// Sets the report's file name and Flate compression and begins a new document (discarding any
// document an earlier drop left open).
void BeginPdfDrop(TPReport& report, const std::string& file_name);

// Adds one page of the image's pixel size. With embed_input_file the page embeds the bytes of
// input_file (a JPEG) unchanged; otherwise the image is compressed at jpeg_quality. A rotation
// (90, 180 or 270, only with embed_input_file) turns the page clockwise when shown (/Rotate): the
// page then has the embedded JPEG's own size, and image is the picture as shown.
void AddPdfPage(TPReport& report, const TBitmap& image, const std::string& input_file,
                bool embed_input_file, int jpeg_quality, int rotation = 0);

// Ends the document and writes the file; a document without pages writes nothing and leaves any
// file at the chosen path untouched.
void EndPdfDrop(TPReport& report);

}  // namespace qv

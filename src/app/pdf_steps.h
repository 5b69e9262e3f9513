// The PDF steps of a drop: the report of the drop and the page of each converted file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pdf/images/pdf_graphic.h"
#include "runtime/translation.h"
#include "runtime/work_context.h"

namespace qv {

class TBitmap;
class TJPEGImage;
class TPReport;

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

// Adds one page of the JPEG's own size embedding its compressed bytes unchanged, turned by
// rotation (0, 90, 180 or 270) as AddPdfPage turns it; only the header is read, nothing decoded.
void AddJpegPdfPage(TPReport& report, TJPEGImage& jpeg, int rotation);

// The picture of one page, made apart from the report so that pages can be made on several
// threads and printed in list order: the JPEG whose bytes the page embeds, the page's size and
// its turn (as AddPdfPage lays them out). It holds the compressed bytes only, never pixels.
struct TPdfPagePicture {
  TPdfJpegGraphic jpeg;
  int width = 0;
  int height = 0;
  int rotation = 0;
};

// The picture AddPdfPage would print for the same arguments; the spare threads of work may share
// the compression.
TPdfPagePicture MakePdfPagePicture(const TBitmap& image, const std::string& input_file,
                                   bool embed_input_file, int jpeg_quality, int rotation = 0,
                                   const TWorkContext& work = {});
// The picture AddJpegPdfPage would print: jpeg's bytes (shared, not copied), nothing decoded.
TPdfPagePicture MakeJpegPdfPagePicture(TJPEGImage& jpeg, int rotation);
// Prints the page of a picture, checking first that it fits in the file.
void PrintPdfPage(TPReport& report, const TPdfPagePicture& picture);

// Ends the document and writes the file; returns the number of pages written. A document without
// pages writes nothing (0) and leaves any file at the chosen path untouched.
int EndPdfDrop(TPReport& report);

// Refuses (Exception naming the file) a PDF target that would destroy something before anything
// is converted: one of the drop's own inputs (the same file by any name), a folder, or an
// existing file that is not a PDF (a non-empty file not starting "%PDF-", or no regular file).
void CheckPdfTarget(const std::string& pdf_file, const std::vector<std::string>& inputs);

inline constexpr char kPdfTargetIsInputText[] =
    N_("The PDF file \"%s\" is one of the files to convert; it is not replaced");
inline constexpr char kPdfTargetNotPdfText[] =
    N_("The file \"%s\" exists and is not a PDF file; it is not replaced");

}  // namespace qv

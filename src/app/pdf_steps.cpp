// The PDF steps of a drop.
#include "app/pdf_steps.h"

#include "runtime/exceptions.h"

namespace qv {

class TPReport {};

void TPReportDeleter::operator()(TPReport* report) const { delete report; }

TPReportPtr CreatePdfWriter() { return TPReportPtr(new TPReport); }

void BeginPdfDrop(TPReport&, const std::string&) {
  throw Exception("PDF output is not built into this version");
}

void AddPdfPage(TPReport&, const TBitmap&, const std::string&, bool, int) {
  throw Exception("PDF output is not built into this version");
}

void EndPdfDrop(TPReport&) { throw Exception("PDF output is not built into this version"); }

}  // namespace qv

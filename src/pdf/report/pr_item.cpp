// TPRItem and TPRImage: parent rule, picture and the printing of an image object.
#include "pdf/report/pr_item.h"

#include <chrono>

#include "pdf/document/pdf_canvas.h"
#include "pdf/document/pdf_doc.h"
#include "pdf/images/pdf_graphic.h"
#include "pdf/images/pdf_image_creator.h"
#include "pdf/objects/pdf_array.h"
#include "pdf/objects/pdf_stream.h"
#include "pdf/report/pr_page.h"
#include "pdf/report/pr_panel.h"
#include "runtime/exceptions.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

TPRItem::TPRItem(std::string name) : TPRControl(std::move(name)) {
  TPRControl::SetBounds(0, 0, 100, 30);
}

void TPRItem::Print(TPRCanvas &, const TRect &) {}

TPRPage *TPRItem::Page() const {
  auto *panel = dynamic_cast<TPRPanel *>(Parent());
  return panel ? panel->Page() : nullptr;
}

void TPRItem::CheckParent(TPRControl *parent) const {
  if (parent == nullptr || dynamic_cast<TPRPanel *>(parent)) return;
  throw Exception(Tr("this component must set on TPRPanel"));
}

namespace {

// The image object of a picture; a JPEG with an ICC profile names it as its colour space.
std::unique_ptr<TPdfImage> MakeImage(TPdfDoc &doc, const TPdfGraphic &picture,
                                     const char *creator_alias) {
  std::unique_ptr<TPdfImage> image = CreatePdfImage(picture, creator_alias);
  const auto *jpeg = dynamic_cast<const TPdfJpegGraphic *>(&picture);
  if (image && jpeg != nullptr && !jpeg->IccProfile().empty())
    image->Attributes().Put("ColorSpace",
                            doc.IccBasedColourSpace(jpeg->IccProfile(), jpeg->Components()));
  return image;
}

}  // namespace

TPRImage::TPRImage(std::string name)
    : TPRItem(std::move(name)),
      random_(static_cast<std::minstd_rand::result_type>(
          std::chrono::steady_clock::now().time_since_epoch().count() & 0x7FFFFFFF)) {}

TPRImage::~TPRImage() = default;

void TPRImage::StorePicture(const TPdfGraphic *picture) {
  picture_ = picture && !picture->Empty() ? picture->Clone() : nullptr;
}

void TPRImage::SetPicture(const TPdfGraphic *picture) {
  if (picture != nullptr && !picture->Empty() &&
      dynamic_cast<const TPdfBitmapGraphic *>(picture) == nullptr)
    throw Exception(Tr("only bitmap image is allowed."));
  StorePicture(picture);
}

void TPRImage::Print(TPRCanvas &canvas, const TRect &rect) {
  if (dynamic_cast<const TPdfBitmapGraphic *>(picture_.get()) == nullptr) return;
  PrintPicture(canvas, rect, "Pdf-Bitmap", true);
}

void TPRImage::PrintPicture(TPRCanvas &canvas, const TRect &rect, const char *creator_alias,
                            bool sequential_names) {
  if (!Printable || !picture_ || picture_->Empty()) return;
  TPdfCanvas &pdf_canvas = canvas.PdfCanvas();
  TPdfDoc &doc = pdf_canvas.Doc();
  std::string name;
  if (SharedImage) {
    name = Name();
    if (doc.GetXObject(name) == nullptr)
      doc.AddXObject(name, MakeImage(doc, *picture_, creator_alias));
  } else {
    constexpr int kCandidates = 65535;
    if (sequential_names) {
      // From a random start, one number after the other; a taken last candidate fails when it
      // is registered.
      int number = std::uniform_int_distribution<int>(0, 65533)(random_);
      for (int i = 0; i < kCandidates; ++i) {
        name = Name() + IntToStr(number);
        if (doc.GetXObject(name) == nullptr) break;
        number = number >= 65534 ? 0 : number + 1;
      }
    } else {
      std::uniform_int_distribution<int> draw(0, 65534);
      bool found = false;
      for (int i = 0; i < kCandidates && !found; ++i) {
        name = Name() + IntToStr(draw(random_));
        found = doc.GetXObject(name) == nullptr;
      }
      if (!found) throw Exception(Tr("image count over max value.."));
    }
    doc.AddXObject(name, MakeImage(doc, *picture_, creator_alias));
  }
  TPRPage *page = Page();
  float page_height = page ? static_cast<float>(page->Height()) : 0.0f;
  auto f = [](int value) { return static_cast<float>(value); };
  if (Stretch) {
    pdf_canvas.DrawXObject(f(rect.left), page_height - f(rect.bottom), f(Width()), f(Height()),
                           name);
  } else {
    float picture_width = f(picture_->Width());
    float picture_height = f(picture_->Height());
    pdf_canvas.DrawXObjectEx(
        f(rect.left), page_height - f(rect.top) - picture_height, picture_width, picture_height,
        f(rect.left), page_height - f(rect.top) - f(Height()), f(Width()), f(Height()), name);
  }
}

}  // namespace qv

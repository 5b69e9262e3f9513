// The image creators that turn a picture into a PDF image object, found by alias.
#pragma once

#include <memory>
#include <string>

namespace qv {

class TPdfGraphic;
class TPdfImage;

class TPdfImageCreator {
 public:
  virtual ~TPdfImageCreator() = default;
  // A new image object for the picture, owned by the caller; none in the base.
  virtual std::unique_ptr<TPdfImage> CreateImage(const TPdfGraphic &graphic);
};

// Creates the image object through the creator registered under alias ("Pdf-Jpeg",
// "Pdf-Bitmap"); another alias fails with EClassNotFound "クラス %s が見つかりません".
std::unique_ptr<TPdfImage> CreatePdfImage(const TPdfGraphic &graphic, const std::string &alias);

}  // namespace qv

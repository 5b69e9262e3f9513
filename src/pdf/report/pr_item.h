// TPRItem, the printable report item, and TPRImage, the picture item.
#pragma once

#include <memory>
#include <random>
#include <string>

#include "pdf/report/pr_control.h"

namespace qv {

class TPdfGraphic;
class TPRPage;

class TPRItem : public TPRControl {
 public:
  // 100 x 30, printable.
  explicit TPRItem(std::string name = {});
  const char *ClassName() const override { return "TPRItem"; }
  bool HasWindow() const override { return false; }
  bool Printable = true;
  // Draws the item into rect (layout units, y downwards); nothing in the base.
  virtual void Print(TPRCanvas &canvas, const TRect &rect);
  // The page of the item's panel; nullptr when there is none.
  TPRPage *Page() const;

 protected:
  // Parent none or a panel; else Exception "this component must set on TPRPanel".
  void CheckParent(TPRControl *parent) const override;
};

class TPRImage : public TPRItem {
 public:
  explicit TPRImage(std::string name = {});
  ~TPRImage() override;
  const char *ClassName() const override { return "TPRImage"; }
  // Copies the picture (nullptr empties it); only a Raster image picture is accepted, else
  // Exception "only bitmap image is allowed.".
  virtual void SetPicture(const TPdfGraphic *picture);
  const TPdfGraphic *Picture() const { return picture_.get(); }
  bool SharedImage = true;
  bool Stretch = true;
  void Print(TPRCanvas &canvas, const TRect &rect) override;

 protected:
  // Registers (or, shared, reuses) the image object and draws it.
  void PrintPicture(TPRCanvas &canvas, const TRect &rect, const char *creator_alias,
                    bool sequential_names);
  void StorePicture(const TPdfGraphic *picture);
  std::unique_ptr<TPdfGraphic> picture_;
  std::minstd_rand random_;  // seeded from the clock when the item is created
};

}  // namespace qv

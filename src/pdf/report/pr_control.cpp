// TPRControl.
#include "pdf/report/pr_control.h"

namespace qv {

void TPRControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

void TPRControl::CheckParent(TPRControl *) const {}

}  // namespace qv

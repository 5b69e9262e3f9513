// TRadioGroup: a captioned frame of exclusive radio buttons with one item index.
#include "widgets/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <algorithm>

namespace qv::widgets {

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    buttons_.push_back(button);
  }
  connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked && !updating_) SetItemIndex(id);
  });
  LayoutButtons();
}

void TRadioGroup::SetItemIndex(int index) {
  index = std::clamp(index, -1, Count() - 1);
  if (index == item_index_) return;
  updating_ = true;
  if (index < 0) {
    // An exclusive group cannot uncheck its last button; lift exclusivity for that moment.
    group_->setExclusive(false);
    for (QRadioButton* button : buttons_) button->setChecked(false);
    group_->setExclusive(true);
  } else {
    buttons_[static_cast<std::size_t>(index)]->setChecked(true);
  }
  updating_ = false;
  item_index_ = index;
  if (OnClick) OnClick(this);
}

void TRadioGroup::LayoutButtons() {
  // One column, the items spread evenly over the frame's inside below the caption.
  if (buttons_.empty()) return;
  QRect inside = contentsRect();
  int left = inside.left() + 4;
  int top = inside.top();
  int available = std::max(1, inside.height());
  int step = available / Count();
  int button_height = std::max(std::min(step, fontMetrics().height() + 4), 1);
  for (int i = 0; i < Count(); ++i) {
    int y = top + i * step + (step - button_height) / 2;
    buttons_[static_cast<std::size_t>(i)]->setGeometry(left, y, std::max(1, inside.right() - left),
                                                       button_height);
  }
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  LayoutButtons();
}

}  // namespace qv::widgets

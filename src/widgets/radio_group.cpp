// TRadioGroup: a captioned frame of exclusive radio buttons with one item index.
#include "widgets/radio_group.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QRadioButton>
#include <algorithm>

namespace qv::widgets {

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent),
      group_(new QButtonGroup(this)),
      count_(static_cast<int>(items.size())) {
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    buttons_.push_back(button);
  }
  connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (!checked || updating_) return;
    SetItemIndex(id == other_from_ ? other_from_ + other_list_->currentIndex() : id);
  });
  LayoutButtons();
}

void TRadioGroup::SetOtherFrom(int first, const QString& caption) {
  if (other_list_ || first < 0 || first >= count_) return;
  other_from_ = first;
  other_list_ = new QComboBox(this);
  for (int i = first; i < count_; ++i) {
    other_list_->addItem(buttons_[static_cast<std::size_t>(i)]->text());
    if (i > first) {
      group_->removeButton(buttons_[static_cast<std::size_t>(i)]);
      delete buttons_[static_cast<std::size_t>(i)];
    }
  }
  buttons_.resize(static_cast<std::size_t>(first) + 1);
  buttons_.back()->setText(caption);
  // The list's items may be wider than the list: its pop-up shows them whole.
  other_list_->view()->setMinimumWidth(other_list_->view()->sizeHintForColumn(0) + 8);
  if (item_index_ >= first) other_list_->setCurrentIndex(item_index_ - first);
  connect(other_list_, &QComboBox::activated, this,
          [this](int row) { SetItemIndex(other_from_ + row); });
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
  } else if (other_list_ && index >= other_from_) {
    buttons_.back()->setChecked(true);
    other_list_->setCurrentIndex(index - other_from_);
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
  const int rows = static_cast<int>(buttons_.size());
  int step = available / rows;
  int button_height = std::max(std::min(step, fontMetrics().height() + 4), 1);
  for (int i = 0; i < rows; ++i) {
    int y = top + i * step + (step - button_height) / 2;
    QRadioButton* button = buttons_[static_cast<std::size_t>(i)];
    int width = std::max(1, inside.right() - left);
    if (other_list_ && i == rows - 1) {
      // The other button as wide as its caption, the list beside it to the frame's right edge.
      width = std::min(width, button->sizeHint().width());
      const int list_left = left + width + 2;
      const int list_height = std::min(other_list_->sizeHint().height(), step + 2);
      other_list_->setGeometry(list_left, y + (button_height - list_height) / 2,
                               std::max(1, inside.right() - 2 - list_left), list_height);
    }
    button->setGeometry(left, y, width, button_height);
  }
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  LayoutButtons();
}

}  // namespace qv::widgets

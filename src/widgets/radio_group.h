// TRadioGroup: a captioned frame of exclusive radio buttons with one item index.
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <vector>

class QButtonGroup;
class QComboBox;
class QRadioButton;

namespace qv::widgets {

class TRadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

  // The checked item, -1 for none.
  int ItemIndex() const { return item_index_; }
  // Checks the item; the value is clamped to -1 .. item count - 1. Raises OnClick when the
  // index changes, as a click does.
  void SetItemIndex(int index);
  // The items, those offered in the list of the "other" button included.
  int Count() const { return count_; }
  // The radio button of item index; for an item offered in the list, the "other" button.
  QRadioButton* Button(int index) const {
    return buttons_.at(
        static_cast<std::size_t>(std::min(index, static_cast<int>(buttons_.size()) - 1)));
  }

  // Offers the items from first on in a list beside one last radio button, captioned caption,
  // instead of a button each, so that more items fit the frame: checking the button picks the
  // list's item, picking an item in the list checks the button. The item indexes stay as they
  // were. Called once, before the group is shown.
  void SetOtherFrom(int first, const QString& caption);
  // The list of SetOtherFrom, or nullptr.
  QComboBox* OtherList() const { return other_list_; }

  // Raised when the item index changes, by the user or by SetItemIndex.
  std::function<void(TRadioGroup* sender)> OnClick;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void LayoutButtons();

  QButtonGroup* group_;
  std::vector<QRadioButton*> buttons_;
  QComboBox* other_list_ = nullptr;
  int other_from_ = -1;
  int count_ = 0;
  int item_index_ = -1;
  bool updating_ = false;
};

}  // namespace qv::widgets

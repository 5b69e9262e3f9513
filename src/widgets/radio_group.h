// TRadioGroup: a captioned frame of exclusive radio buttons with one item index.
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <functional>
#include <vector>

class QButtonGroup;
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
  int Count() const { return static_cast<int>(buttons_.size()); }
  QRadioButton* Button(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }

  // Raised when the item index changes, by the user or by SetItemIndex.
  std::function<void(TRadioGroup* sender)> OnClick;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void LayoutButtons();

  QButtonGroup* group_;
  std::vector<QRadioButton*> buttons_;
  int item_index_ = -1;
  bool updating_ = false;
};

}  // namespace qv::widgets

// TDropDst: turns files dragged from the file manager onto a widget into one OnFileDrop event.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "widgets/control_hook.h"

class QMimeData;

namespace qv::widgets {

class TDropDst;

// Sender, the dropped paths in the order received, and the drop point in the hooked widget's
// coordinates.
using TFileDropEvent =
    std::function<void(TDropDst* sender, const std::vector<std::string>& files, int x, int y)>;

// Accepts text/uri-list drags whose entries are local files or folders. The files of a drag are
// read when it enters the widget, while its source surely still offers them, and are the ones
// dropped: on X11 the drop's data is fetched from whichever program began the latest drag, so a
// drag begun right after this one was let go would otherwise take its files away (or put its
// own in their place). The event runs once the drop has been answered, so the dragging program
// is not held while the handler converts; a failure in the handler is shown once through the
// standard error box and the widget keeps accepting drops.
class TDropDst : public TControlHook {
  Q_OBJECT

 public:
  explicit TDropDst(QObject* owner);

  void Loaded() override;

  bool AcceptDrop() const { return accept_drop_; }
  void SetAcceptDrop(bool accept);

  TFileDropEvent OnFileDrop;
  // Called with true when a drag carrying files enters the widget (it will be accepted) and
  // with false when it leaves or is dropped, so the widget can show that it takes the files.
  std::function<void(bool hover)> OnDragHover;

  // The local paths of a uri-list, in list order; entries that are no local file are left out.
  static std::vector<std::string> LocalPaths(const QMimeData* data);

  // Delivers one drop to OnFileDrop (when assigned), showing a failure in the error box.
  void DoFileDrop(const std::vector<std::string>& files, int x, int y);

 protected:
  void HandleChanged(int reason) override;
  bool HookProc(QEvent* event) override;

 private:
  void UpdateDragAccept();

  bool accept_drop_ = true;
  // The local files of the drag over the widget, read when it entered; empty when there is none.
  std::vector<std::string> drag_files_;
};

}  // namespace qv::widgets

// TDropDst: turns files dragged from the file manager onto a widget into one OnFileDrop event.
#include "widgets/drop_dst.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <exception>
#include <utility>

#include "widgets/error_box.h"

namespace qv::widgets {

TDropDst::TDropDst(QObject* owner) : TControlHook(owner) {}

void TDropDst::Loaded() {
  TControlHook::Loaded();
  UpdateDragAccept();
}

void TDropDst::SetAcceptDrop(bool accept) {
  if (accept == accept_drop_) return;
  accept_drop_ = accept;
  UpdateDragAccept();
}

void TDropDst::UpdateDragAccept() {
  if (HookedControl() && Handle() != kRecreatingMark) HookedControl()->setAcceptDrops(accept_drop_);
}

void TDropDst::HandleChanged(int reason) {
  TControlHook::HandleChanged(reason);
  UpdateDragAccept();
}

std::vector<std::string> TDropDst::LocalPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    QString path = url.toLocalFile();
    // A folder dragged from a file manager may come with a trailing slash.
    while (path.size() > 1 && path.endsWith(u'/')) path.chop(1);
    if (!path.isEmpty()) paths.push_back(ToLocal(path));
  }
  return paths;
}

void TDropDst::DoFileDrop(const std::vector<std::string>& files, int x, int y) {
  if (!OnFileDrop) return;
  try {
    OnFileDrop(this, files, x, y);
  } catch (...) {
    ShowException(std::current_exception(), HookedControl());
  }
}

bool TDropDst::HookProc(QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      // A drag without local files is ignored: the dragging program shows the no-drop cursor.
      // Its files are read once, when it enters (again on a move while none could be read).
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (event->type() == QEvent::DragEnter || drag_files_.empty())
        drag_files_ = LocalPaths(drag->mimeData());
      bool accept = accept_drop_ && !drag_files_.empty();
      if (accept)
        drag->acceptProposedAction();
      else
        drag->ignore();
      if (event->type() == QEvent::DragEnter && OnDragHover) OnDragHover(accept);
      return true;
    }
    case QEvent::DragLeave:
      drag_files_.clear();
      if (OnDragHover) OnDragHover(false);
      return false;
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (OnDragHover) OnDragHover(false);
      // The files read when the drag entered; the drop's own data only for a drop that came
      // without a drag over the widget.
      std::vector<std::string> files = std::move(drag_files_);
      drag_files_.clear();
      if (!accept_drop_) return false;
      if (files.empty()) files = LocalPaths(drop->mimeData());
      if (files.empty()) return false;
      drop->acceptProposedAction();
      QPoint point = drop->position().toPoint();
      // Answer the drop first: the handler may run for minutes and pumps events meanwhile.
      QTimer::singleShot(0, this, [this, files = std::move(files), point] {
        DoFileDrop(files, point.x(), point.y());
      });
      return true;
    }
    default: return false;
  }
}

}  // namespace qv::widgets

// A file-manager-like drag source for checking drops on a real X server by hand: a small window
// at the position given; pressing the mouse on it starts a drag of the files named (as a
// text/uri-list, the way file managers offer files) and prints when the drag began and what the
// target answered. With no file names it drags plain text, which the drop target must refuse.
//   drag_source X Y [FILE...]   (then move the pointer with xdotool: see scripts/xdnd_check.sh)
#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <cstdio>

namespace {

class TDragSource : public QLabel {
 public:
  explicit TDragSource(QStringList files) : files_(std::move(files)) {
    setText(files_.isEmpty() ? QStringLiteral("text")
                             : QStringLiteral("%1 files").arg(files_.size()));
    setAlignment(Qt::AlignCenter);
    setFixedSize(80, 60);
  }

 protected:
  void mousePressEvent(QMouseEvent*) override {
    auto* mime = new QMimeData;
    if (files_.isEmpty()) {
      mime->setText(QStringLiteral("just some text"));
    } else {
      QList<QUrl> urls;
      for (const QString& file : files_)
        urls.push_back(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
      mime->setUrls(urls);
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    std::printf("drag started\n");
    std::fflush(stdout);
    Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
    std::printf("drag ended: %s\n", action == Qt::IgnoreAction ? "refused" : "accepted");
    std::fflush(stdout);
  }

 private:
  QStringList files_;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QStringList args = QApplication::arguments();
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: drag_source X Y [FILE...]\n");
    return 2;
  }
  TDragSource source(args.mid(3));
  source.setWindowTitle(QStringLiteral("drag source"));
  source.move(args[1].toInt(), args[2].toInt());
  source.show();
  return QApplication::exec();
}

// The conversion job's host in the GUI: override cursor, message box, screen size, plug-ins.
#include "gui/qt_job_host.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <cmath>

#include "codecs/spi_lib32.h"
#include "runtime/exceptions.h"
#include "widgets/error_box.h"

namespace qv::gui {

TQtJobHost::TQtJobHost(TSpiLib32& plugins, QWidget* owner) : plugins_(plugins), owner_(owner) {}

TQtJobHost::~TQtJobHost() { SetCursor(TCursor::crDefault); }

void TQtJobHost::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  if (cursor == TCursor::crHourGlass) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  }
}

void TQtJobHost::ShowErrorMessage(const std::string& text, const std::string& caption) {
  QString message = widgets::FromLocal(text);
  message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(QMessageBox::Critical, widgets::FromLocal(caption), message, QMessageBox::Ok,
                  owner_);
  box.exec();
}

std::pair<int, int> TQtJobHost::PrimaryDisplaySize() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) throw Exception("The primary display's size is not known (no screen)");
  QSize size = screen->size();
  double ratio = screen->devicePixelRatio();
  return {static_cast<int>(std::lround(size.width() * ratio)),
          static_cast<int>(std::lround(size.height() * ratio))};
}

void TQtJobHost::ReadByPlugins(const std::string& file_name, TBitmap& image) {
  plugins_.LoadFromFile(file_name, image);
}

}  // namespace qv::gui

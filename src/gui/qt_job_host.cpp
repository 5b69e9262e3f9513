// The conversion job's host in the GUI: override cursor, message box, screen size, plug-ins.
#include "gui/qt_job_host.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <cmath>
#include <exception>
#include <utility>

#include "codecs/plugin_host/spi_lib32.h"
#include "runtime/exceptions.h"
#include "runtime/translation.h"
#include "widgets/error_box.h"

namespace qv::gui {

namespace {

// Runs work on the user-interface thread and waits for it; its failure is raised here.
void OnUiThread(const std::function<void()>& work) {
  QCoreApplication* application = QCoreApplication::instance();
  if (!application || QThread::currentThread() == application->thread()) {
    work();
    return;
  }
  std::exception_ptr failure;
  QMetaObject::invokeMethod(
      application,
      [&] {
        try {
          work();
        } catch (...) {
          failure = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

TQtJobHost::TQtJobHost(TSpiLib32& plugins, QWidget* owner) : plugins_(plugins), owner_(owner) {
  ReadScreenSize();
  auto watch = [this](QScreen* screen) {
    if (screen)
      QObject::connect(screen, &QScreen::geometryChanged, &screen_watch_,
                       [this] { ReadScreenSize(); });
  };
  watch(QGuiApplication::primaryScreen());
  QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, &screen_watch_,
                   [this, watch](QScreen* screen) {
                     watch(screen);
                     ReadScreenSize();
                   });
}

void TQtJobHost::ReadScreenSize() {
  std::optional<std::pair<int, int>> size;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QSize pixels = screen->size();
    double ratio = screen->devicePixelRatio();
    size = std::pair{static_cast<int>(std::lround(pixels.width() * ratio)),
                     static_cast<int>(std::lround(pixels.height() * ratio))};
  }
  std::lock_guard lock(screen_mutex_);
  screen_size_ = size;
}

TQtJobHost::~TQtJobHost() { SetCursor(TCursor::crDefault); }

void TQtJobHost::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  OnUiThread([cursor] {
    if (cursor == TCursor::crHourGlass) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    }
  });
}

void TQtJobHost::ShowErrorMessage(const std::string& text, const std::string& caption) {
  OnUiThread([&] {
    QString message = widgets::FromLocal(text);
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Critical, widgets::FromLocal(caption), message, QMessageBox::Ok,
                    owner_);
    box.exec();
  });
}

std::pair<int, int> TQtJobHost::PrimaryDisplaySize() {
  QCoreApplication* application = QCoreApplication::instance();
  if (application && QThread::currentThread() == application->thread()) ReadScreenSize();
  std::lock_guard lock(screen_mutex_);
  if (!screen_size_) throw Exception(Tr("The primary display's size is not known (no screen)"));
  return *screen_size_;
}

void TQtJobHost::ReadByPlugins(const std::string& file_name, TBitmap& image) {
  plugins_.LoadFromFile(file_name, image);
}

void TQtJobHost::ReadByPluginsWithMetadata(const std::string& file_name, TBitmap& image,
                                           TPluginMetadata& metadata) {
  plugins_.LoadFromFile(file_name, image, &metadata);
}

std::optional<std::pair<int, int>> TQtJobHost::PictureSizeByPlugins(const std::string& file_name) {
  return plugins_.PictureSize(file_name);
}

}  // namespace qv::gui

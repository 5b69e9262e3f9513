// The conversion job's host in the GUI: override cursor, message box, screen size, plug-ins.
#pragma once

#include <QObject>
#include <mutex>
#include <optional>
#include <utility>

#include "app/job_host.h"

class QWidget;

namespace qv {
class TSpiLib32;
}

namespace qv::gui {

// The batch runs each file on a worker thread (TQtBatchHost::RunFile): the calls that touch the
// user interface (cursor, message box) are then carried out on the user-interface thread, which
// waits for none of them; the plug-ins are called on the calling thread. The screen's size is
// kept as the user-interface thread last saw it, so that workers converting files at once ask
// for it without waiting for that thread (which may wait for them).
class TQtJobHost : public IJobHost {
 public:
  // plugins: the main window's plug-in host; owner: the parent of message boxes.
  TQtJobHost(TSpiLib32& plugins, QWidget* owner);
  ~TQtJobHost() override;

  // The hourglass is the application's override cursor; crDefault removes every override.
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor cursor) override;
  // A QMessageBox of the error kind with one OK button.
  void ShowErrorMessage(const std::string& text, const std::string& caption) override;
  // The primary screen's size in device pixels (on another thread: as last seen).
  std::pair<int, int> PrimaryDisplaySize() override;
  void ReadByPlugins(const std::string& file_name, TBitmap& image) override;
  void ReadByPluginsWithMetadata(const std::string& file_name, TBitmap& image,
                                 TPluginMetadata& metadata) override;
  std::optional<std::pair<int, int>> PictureSizeByPlugins(const std::string& file_name) override;

 private:
  // Reads the primary screen's size into screen_size_ (on the user-interface thread).
  void ReadScreenSize();

  TSpiLib32& plugins_;
  QWidget* owner_;
  TCursor cursor_ = TCursor::crDefault;
  std::mutex screen_mutex_;
  std::optional<std::pair<int, int>> screen_size_;
  // Holds the connections to the screens' signals for as long as the host lives.
  QObject screen_watch_;
};

}  // namespace qv::gui

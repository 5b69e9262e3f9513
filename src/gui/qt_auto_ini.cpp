// TAutoIni on a Qt form: the settings layer's component over the form's widgets, with Qt's
// message box for its messages.
#include "gui/qt_auto_ini.h"

#include <QGuiApplication>
#include <QMessageBox>

#include "gui/qt_control.h"

namespace qv::gui {

void TQtAutoIniHost::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::Information, QGuiApplication::applicationDisplayName(),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok, form_);
  box.exec();
}

TQtAutoIni::TQtAutoIni(QWidget* form)
    : form_(std::make_unique<TQtForm>(form)),
      host_(std::make_unique<TQtAutoIniHost>(form)),
      auto_ini_(std::make_unique<TAutoIni>(*form_, *host_)) {}

TQtAutoIni::~TQtAutoIni() = default;

}  // namespace qv::gui

// The application's standard error box for a failure that leaves an event handler.
#include "widgets/error_box.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <algorithm>
#include <new>

#include "runtime/exceptions.h"
#include "widgets/translated_text.h"

namespace qv::widgets {

QString FromLocal(const std::string& text) {
  return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

std::string ToLocal(const QString& text) { return QFile::encodeName(text).toStdString(); }

std::optional<QString> ErrorBoxMessage(std::exception_ptr error) {
  if (!error) return std::nullopt;
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    return std::nullopt;
  } catch (const Exception& e) {
    return FromLocal(ErrorBoxText(e.Message()));
  } catch (const std::bad_alloc&) {
    // The system's own words for it, never the library's.
    return FromLocal(ErrorBoxText(EOutOfMemory().Message()));
  } catch (const std::exception& e) {
    return FromLocal(ErrorBoxText(e.what()));
  } catch (...) {
    return TrQ("Unknown error.");
  }
}

void KeepTitleWhole(QMessageBox& box) {
  // Title bars use a font of their own, often bold and larger than the box's: half as wide
  // again, plus room for the icon and three buttons of about 40 pixels.
  const int title = QFontMetrics(box.font()).horizontalAdvance(box.windowTitle());
  const int width = std::max(title * 3 / 2 + 4 * 40, 280);
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
}

void ShowException(std::exception_ptr error, QWidget* parent, const QString& informative) {
  std::optional<QString> text = ErrorBoxMessage(error);
  if (!text) return;
  QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), *text,
                  QMessageBox::Ok, parent);
  if (!informative.isEmpty()) box.setInformativeText(informative);
  KeepTitleWhole(box);
  box.exec();
}

}  // namespace qv::widgets

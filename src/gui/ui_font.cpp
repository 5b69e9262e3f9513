// The forms' font: "ＭＳ Ｐゴシック" at 12 pixels when installed, else a Japanese Gothic font.
#include "gui/ui_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace qv::gui {

QFont JapaneseUiFont() {
  static const QString kCandidates[] = {
      QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")};
  const QStringList families = QFontDatabase::families();
  QString family = kCandidates[0];
  for (const QString& candidate : kCandidates) {
    if (families.contains(candidate, Qt::CaseInsensitive)) {
      family = candidate;
      break;
    }
  }
  QFont font(family);
  font.setPixelSize(12);
  return font;
}

}  // namespace qv::gui

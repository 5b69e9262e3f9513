// The forms' font: "ＭＳ Ｐゴシック" at 12 pixels when installed, else a Japanese Gothic font.
#include "gui/ui_font.h"

#include <QStringList>

namespace qv::gui {

QFont JapaneseUiFont() {
  // The first of these that is installed. The font system matches every name of a font, so a
  // font is found also where it lists itself by its Japanese name (IPA Pゴシック under a Japanese
  // locale).
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                    QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                    QStringLiteral("Noto Sans CJK JP")});
  font.setPixelSize(12);
  return font;
}

}  // namespace qv::gui

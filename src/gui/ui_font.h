// The forms' font: "ＭＳ Ｐゴシック" at 12 pixels when installed, else a Japanese Gothic font.
#pragma once

#include <QFont>

namespace qv::gui {

QFont JapaneseUiFont();

}  // namespace qv::gui

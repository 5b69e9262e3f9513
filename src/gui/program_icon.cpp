// The program's icon from the PNGs compiled into the executable, one per size.
#include "gui/program_icon.h"

#include <QString>

namespace qv::gui {

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/%1x%1/apps/" QV_APP_ID ".png").arg(size),
                 QSize(size, size));
  return icon;
}

}  // namespace qv::gui

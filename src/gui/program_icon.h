// The program's icon (title bar, taskbar, About box): the PNG sizes built from data/icons.
#pragma once

#include <QIcon>

namespace qv::gui {

QIcon ProgramIcon();

}  // namespace qv::gui

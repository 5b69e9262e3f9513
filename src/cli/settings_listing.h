// What --show-settings prints: every setting with the value a conversion would use.
#pragma once

#include <ostream>
#include <string>

namespace qv {
class IJobSettings;
}

namespace qv::cli {

// Writes every setting to out as "KEY=VALUE", one a line in the order of the INI file, each with
// the value the conversion works with (a number field's text read as a number and brought into
// its range, a choice's index, a check box as 1 or 0, a text as it is, made safe for a
// terminal). A number field whose text is no number, or a number out of its range, also gets a
// warning on err naming the stored text and the value used instead.
void ListSettings(const IJobSettings& settings, std::ostream& out, std::ostream& err);

}  // namespace qv::cli

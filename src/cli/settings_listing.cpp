// What --show-settings prints: every setting with the value a conversion would use.
#include "cli/settings_listing.h"

#include "cli/terminal_text.h"
#include "runtime/strings.h"
#include "runtime/translation.h"
#include "settings/job_settings.h"

namespace qv::cli {

void ListSettings(const IJobSettings& settings, std::ostream& out, std::ostream& err) {
  for (const TSettingRow& row : SettingRows()) {
    std::string value;
    switch (row.kind) {
      case TSettingKind::kChoice: value = IntToStr(settings.Choice(row.id)); break;
      case TSettingKind::kCheck: value = IntToStr(settings.Checked(row.id) ? 1 : 0); break;
      case TSettingKind::kNumber: {
        value = IntToStr(settings.Clamped(row.id));
        const std::string stored = settings.Stored(row.id);
        const char* problem = nullptr;
        if (!ParseInt32(stored))
          // TRANSLATORS: the key, the stored text, the number the conversion uses instead.
          problem = Tr("%s=%s is not a number: the conversion uses %s");
        else if (IntToStr(settings.Number(row.id)) != value)
          // TRANSLATORS: the key, the stored number, the number the conversion uses instead.
          problem = Tr("%s=%s is out of range: the conversion uses %s");
        if (problem)
          err << "quenvale-cli: " << Tr("warning") << ": "
              << FormatText(problem, {row.key, QuoteFileName(stored), value}) << "\n";
        break;
      }
      case TSettingKind::kText: value = TerminalSafe(settings.Text(row.id)); break;
    }
    out << row.key << "=" << value << "\n";
  }
}

}  // namespace qv::cli

// TPdfCatalog: the document catalog's setters, and the page layout, page mode and viewer
// preference types.
#pragma once

#include <cstdint>

#include "pdf/objects/pdf_dictionary_wrapper.h"

namespace qv {

enum class TPdfPageLayout { plSinglePage, plOneColumn, plTwoColumnLeft, plTwoColumnRight };
enum class TPdfPageMode { pmUseNone, pmUseOutlines, pmUseThumbs, pmFullScreen };
enum class TPdfViewerPreference {
  vpHideToolbar,
  vpHideMenubar,
  vpHideWindowUI,
  vpFitWindow,
  vpCenterWindow
};

// A set of viewer preferences, one bit per value.
class TPdfViewerPreferences {
 public:
  TPdfViewerPreferences() = default;
  TPdfViewerPreferences(std::initializer_list<TPdfViewerPreference> values) {
    for (auto value : values) Include(value);
  }
  void Include(TPdfViewerPreference value) { bits_ |= Bit(value); }
  bool Contains(TPdfViewerPreference value) const { return (bits_ & Bit(value)) != 0; }
  bool Empty() const { return bits_ == 0; }
  friend bool operator==(TPdfViewerPreferences, TPdfViewerPreferences) = default;

 private:
  static std::uint8_t Bit(TPdfViewerPreference value) {
    return static_cast<std::uint8_t>(1u << static_cast<int>(value));
  }
  std::uint8_t bits_ = 0;
};

const char *PageLayoutName(TPdfPageLayout layout);
const char *PageModeName(TPdfPageMode mode);
const char *ViewerPreferenceName(TPdfViewerPreference preference);

class TPdfCatalog : public TPdfDictionaryWrapper {
 public:
  // "PageMode" / "PageLayout" as the name of the value (set in place when present).
  void SetPageMode(TPdfPageMode mode);
  void SetPageLayout(TPdfPageLayout layout);
  // "NonFullScreenPageMode" in the "ViewerPreferences" dictionary (created when missing);
  // removed for pmUseNone and pmFullScreen.
  void SetNonFullScreenPageMode(TPdfPageMode mode);
  // The five flags as true entries of "ViewerPreferences" (created only for a non-empty set);
  // flags not in the set are removed.
  void SetViewerPreference(TPdfViewerPreferences preferences);
  // "Pages" = a reference to a dictionary whose "Type" is "Pages".
  void SetPages(const TPdfDictionary &pages);
  // The open-action destination (an indirect array), none by default.
  void SetOpenAction(const TPdfObject *destination) { open_action_ = destination; }
  // Before saving: puts "OpenAction" when one is set, else removes it.
  void SaveOpenAction();

 private:
  void SetName(const char *key, const char *value);
  const TPdfObject *open_action_ = nullptr;
};

}  // namespace qv

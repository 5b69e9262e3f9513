// TPdfCatalog setters.
#include "pdf/document/pdf_catalog.h"

#include "pdf/objects/pdf_exceptions.h"
#include "runtime/translation.h"

namespace qv {

const char *PageLayoutName(TPdfPageLayout layout) {
  static constexpr const char *kNames[] = {"SinglePage", "OneColumn", "TwoColumnLeft",
                                           "TwoColumnRight"};
  return kNames[static_cast<int>(layout)];
}

const char *PageModeName(TPdfPageMode mode) {
  static constexpr const char *kNames[] = {"UseNone", "UseOutlines", "UseThumbs", "FullScreen"};
  return kNames[static_cast<int>(mode)];
}

const char *ViewerPreferenceName(TPdfViewerPreference preference) {
  static constexpr const char *kNames[] = {"HideToolbar", "HideMenubar", "HideWindowUI",
                                           "FitWindow", "CenterWindow"};
  return kNames[static_cast<int>(preference)];
}

void TPdfCatalog::SetName(const char *key, const char *value) {
  if (TPdfName *name = Data()->FindName(key))
    name->SetValue(value);
  else
    Data()->Put(key, std::make_unique<TPdfName>(value));
}

void TPdfCatalog::SetPageMode(TPdfPageMode mode) { SetName("PageMode", PageModeName(mode)); }

void TPdfCatalog::SetPageLayout(TPdfPageLayout layout) {
  SetName("PageLayout", PageLayoutName(layout));
}

void TPdfCatalog::SetNonFullScreenPageMode(TPdfPageMode mode) {
  TPdfDictionary *preferences = Data()->FindDictionary("ViewerPreferences");
  if (preferences == nullptr) {
    Data()->Put("ViewerPreferences", std::make_unique<TPdfDictionary>(Data()->ObjectMgr()));
    preferences = Data()->FindDictionary("ViewerPreferences");
  }
  if (mode == TPdfPageMode::pmUseNone || mode == TPdfPageMode::pmFullScreen) {
    preferences->Remove("NonFullScreenPageMode");
    return;
  }
  if (TPdfName *name = preferences->FindName("NonFullScreenPageMode"))
    name->SetValue(PageModeName(mode));
  else
    preferences->Put("NonFullScreenPageMode", std::make_unique<TPdfName>(PageModeName(mode)));
}

void TPdfCatalog::SetViewerPreference(TPdfViewerPreferences preferences) {
  TPdfDictionary *dictionary = Data()->FindDictionary("ViewerPreferences");
  if (dictionary == nullptr) {
    if (preferences.Empty()) return;
    Data()->Put("ViewerPreferences", std::make_unique<TPdfDictionary>(Data()->ObjectMgr()));
    dictionary = Data()->FindDictionary("ViewerPreferences");
  }
  for (int i = 0; i < 5; ++i) {
    auto preference = static_cast<TPdfViewerPreference>(i);
    if (preferences.Contains(preference))
      dictionary->Put(ViewerPreferenceName(preference), std::make_unique<TPdfBoolean>(true));
    else
      dictionary->Remove(ViewerPreferenceName(preference));
  }
}

void TPdfCatalog::SetPages(const TPdfDictionary &pages) {
  if (pages.TypeOf() != "Pages") throw EPdfInvalidValue(Tr("SetPages --wrong dictionary type."));
  Data()->PutReference("Pages", pages);
}

void TPdfCatalog::SaveOpenAction() {
  if (open_action_ != nullptr)
    Data()->PutReference("OpenAction", *open_action_);
  else
    Data()->Remove("OpenAction");
}

}  // namespace qv

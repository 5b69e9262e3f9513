// The settings dialog's control tree as a model, with the dialog's captions (in the user's
// language) and defaults.
#include "settings/setup_form_model.h"

#include "runtime/translation.h"
#include "settings/setting_table.h"

namespace qv {

namespace {

// The control of one row, at the row's default.
void AddControl(TModelControl& parent, const TSettingRow& row) {
  switch (row.kind) {
    case TSettingKind::kChoice: {
      TModelControl& group = parent.Add(TControlKind::kRadioGroup, row.key);
      std::vector<std::string> items;
      for (const TItemCaption& item : row.items)
        items.emplace_back(item.context ? TrCtx(item.context, item.text) : Tr(item.text));
      group.SetItems(std::move(items));
      group.SetItemIndex(std::stoi(row.default_value));
      break;
    }
    case TSettingKind::kCheck:
      parent.Add(TControlKind::kCheckBox, row.key).SetChecked(row.default_value[0] == '1');
      break;
    case TSettingKind::kNumber: {
      TModelControl& field = parent.Add(TControlKind::kEdit, row.key);
      field.SetSpinRange(row.min_value, row.max_value);
      field.SetText(row.default_value);
      field.Add(TControlKind::kOther, "");  // the spin button
      break;
    }
    case TSettingKind::kText: {
      TModelControl& edit = parent.Add(TControlKind::kEdit, row.key);
      edit.SetText(row.default_value);
      edit.Add(TControlKind::kOther, "");  // the ellipsis button
      break;
    }
  }
  if (row.optional) parent.Find(row.key)->SetOptionalDefault(row.default_value);
}

}  // namespace

std::unique_ptr<TModelControl> MakeSetupFormModel() {
  auto form = std::make_unique<TModelControl>(TControlKind::kOther, "SetupForm");
  form->SetTop(0);
  form->SetLeft(0);

  TModelControl& pages = form->Add(TControlKind::kOther, "PageControl1");
  TModelControl* page_of[] = {
      &pages.Add(TControlKind::kOther, "TabSheet1"), &pages.Add(TControlKind::kOther, "TabSheet2"),
      &pages.Add(TControlKind::kOther, "TabSheet3"), &pages.Add(TControlKind::kOther, "TabSheet4"),
      &form->Add(TControlKind::kOther, "StoredOnly")};
  for (const TSettingRow& row : SettingRows())
    AddControl(*page_of[static_cast<int>(row.page)], row);

  form->Add(TControlKind::kOther, "GoButton").SetText(Tr("OK"));
  form->Add(TControlKind::kOther, "CancelButton").SetText(Tr("Cancel"));
  return form;
}

}  // namespace qv

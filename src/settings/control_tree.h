// The control tree TAutoIni walks: a form's controls seen only as kind, name, tag, children, value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qv {

// What a control is, as far as the settings layer cares. The first eight kinds hold a value;
// kOther is everything else (labels, push buttons, progress bars, page controls, pages, panels).
enum class TControlKind {
  kEdit,         // any text edit: plain edits, spin fields, the ellipsis edit. Value: Text()
  kCheckBox,     // Value: Checked()
  kRadioButton,  // a single radio button (also the buttons inside a radio group). Value: Checked()
  kRadioGroup,   // Value: ItemIndex(), -1 for none; ItemCount() items
  kListBox,      // Value: ItemIndex(); ItemCount() items
  kComboBox,     // Value: ItemIndex(); ItemCount() items
  kShape,        // Value: Color(), the brush colour as a 32-bit integer
  kHotKey,       // Value: HotKey(), a 16-bit shortcut (virtual key | 0x2000 Shift | 0x4000 Ctrl
                 // | 0x8000 Alt)
  kOther,        // holds no value; walked into when it has children
};

// One control of a form. An adapter (a Qt widget, or the in-memory model of the settings
// record) implements the accessors of its kind; the defaults below are what a control of another
// kind answers, so an adapter overrides only what its kind needs. The walker calls only the
// accessors that belong to Kind(). Accessors may throw qv::Exception; the failure then ends the
// load or save that is running (after the host's message box, see TAutoIni).
class IControl {
 public:
  virtual ~IControl() = default;

  virtual TControlKind Kind() const = 0;
  // The component name (Qt: the object name), bytes in UTF-8. It is the control's INI key and its
  // name in the snapshot; a control with an empty name still takes part (key "").
  virtual std::string Name() const = 0;
  // The control's tag (only used when TAutoIni's CheckTag is on). Default 0.
  virtual std::int32_t Tag() const { return 0; }
  // For a setting added later than the file layout: the stored text at which its key is left
  // out of a section that does not hold it yet, so a file of default settings keeps its old
  // contents. Empty for every other control (the default): its key is always written.
  virtual std::optional<std::string> OptionalDefault() const { return std::nullopt; }

  // Child controls in the container's child order: non-windowed children first, then windowed
  // children in creation order. The walker visits a control's children only when the control
  // is of a kind that does not take part (kOther, or a kind switched off in CheckControls), so a
  // radio group's buttons or a spin field's button may be listed here and are still never
  // visited while their parent matches. The pointer stays valid for the walk. Default: none.
  virtual std::size_t ChildCount() const { return 0; }
  virtual IControl* Child(std::size_t /*index*/) { return nullptr; }

  // kEdit: the text.
  virtual std::string Text() const { return {}; }
  virtual void SetText(const std::string& /*text*/) {}
  // kCheckBox, kRadioButton: checked state.
  virtual bool Checked() const { return false; }
  virtual void SetChecked(bool /*checked*/) {}
  // kRadioGroup, kListBox, kComboBox: the item index (-1 for none) and the item count. The walker
  // passes SetItemIndex a value already brought into -1 .. ItemCount() - 1 (a radio group clamps
  // to that range; a list or combo box takes an index outside it as -1), so an adapter may pass
  // it straight on.
  virtual int ItemIndex() const { return -1; }
  virtual void SetItemIndex(int /*index*/) {}
  virtual int ItemCount() const { return 0; }
  // kShape: the brush colour.
  virtual std::int32_t Color() const { return 0; }
  virtual void SetColor(std::int32_t /*color*/) {}
  // kHotKey: the shortcut value (0 .. 0xFFFF).
  virtual int HotKey() const { return 0; }
  virtual void SetHotKey(int /*shortcut*/) {}
};

// The form that owns a TAutoIni: the root of the walk, and the position TAutoIni stores when
// CheckWinState is on. Name() of the form gives the position keys (Name() + "Top", "Left",
// "height", "width"). Kind() of a form is kOther.
class IForm : public IControl {
 public:
  TControlKind Kind() const override { return TControlKind::kOther; }

  // Screen position and outer size in pixels.
  virtual int Top() const = 0;
  virtual int Left() const = 0;
  virtual int Height() const = 0;
  virtual int Width() const = 0;
  virtual void SetTop(int top) = 0;
  virtual void SetLeft(int left) = 0;
  virtual void SetHeight(int height) = 0;
  virtual void SetWidth(int width) = 0;
};

}  // namespace qv

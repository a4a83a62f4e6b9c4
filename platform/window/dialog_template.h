#pragma once
// A dialog described as data: the window and its controls, with the style
// bits and dialog-unit geometry of a classic resource template. CDialog
// builds its window from one of these; the program's templates live in res/.

#include <cstdint>
#include <span>
#include <string_view>

// The style bits the dialog layer interprets; other bits are carried along
// so that a template reads like its resource original.
namespace dialog_style {
inline constexpr std::uint32_t kTabStop = 0x00010000;       // WS_TABSTOP
inline constexpr std::uint32_t kSysMenu = 0x00080000;       // WS_SYSMENU: close box
inline constexpr std::uint32_t kHScroll = 0x00100000;       // WS_HSCROLL
inline constexpr std::uint32_t kDefPushButton = 0x0001;     // BS_DEFPUSHBUTTON
inline constexpr std::uint32_t kMultiLine = 0x0004;         // ES_MULTILINE
inline constexpr std::uint32_t kAutoHScroll = 0x0080;       // ES_AUTOHSCROLL
inline constexpr std::uint32_t kReadOnly = 0x0800;          // ES_READONLY
inline constexpr std::uint32_t kSingleSel = 0x0004;         // LVS_SINGLESEL
}  // namespace dialog_style

enum class ControlKind { button, edit, label, listView };

struct ControlTemplate {
  int id;  // -1 for a control that is never addressed
  ControlKind kind;
  std::u16string_view text;
  std::uint32_t style;
  int x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
  int id;
  std::u16string_view caption;
  std::u16string_view fontName;  // "MS Shell Dlg" means the desktop's UI font
  int fontPoints;
  std::uint32_t style;
  std::uint32_t exStyle;
  int cx, cy;  // client area, dialog units
  std::span<const ControlTemplate> controls;  // creation and tab order
};

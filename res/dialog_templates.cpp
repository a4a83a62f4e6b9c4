#include "res/dialog_templates.h"

#include "platform/window/dialog.h"
#include "res/resource_ids.h"

namespace {

// The style words are those of the resource originals; dialog_template.h
// names the bits that the dialog layer reads.

// WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT |
// DS_FIXEDSYS: a caption without system menu, so no close box.
constexpr std::uint32_t kScribletStyle = 0x90C000C8;
constexpr std::uint32_t kAppWindow = 0x00040000;  // WS_EX_APPWINDOW

constexpr ControlTemplate kScribletControls[] = {
    {IDOK, ControlKind::button, u"OK", 0x50010001, 192, 7, 50, 16},
    {IDC_HELP_TEXT, ControlKind::edit, u"", 0x50810804, 7, 32, 235, 211},
    {-1, ControlKind::label, u"Краткая инструкция:", 0x50020000, 7, 22, 180, 8},
};

// WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
// DS_FIXEDSYS: close box, no minimise or maximise box, fixed size.
constexpr std::uint32_t kSearchStyle = 0x80C800C8;
constexpr std::uint32_t kToolAppWindow = 0x00040080;  // WS_EX_TOOLWINDOW | WS_EX_APPWINDOW

constexpr ControlTemplate kSearchControls[] = {
    // border, tab stop, ES_AUTOHSCROLL
    {IDC_QUERY, ControlKind::edit, u"", 0x50810080, 7, 7, 384, 14},
    // border, tab stop, LVS_LIST | LVS_SHOWSELALWAYS | LVS_ALIGNLEFT
    {IDC_RESULTS, ControlKind::listView, u"", 0x5081080B, 7, 27, 184, 126},
    {IDOK, ControlKind::button, u"Открыть", 0x50010001, 286, 159, 50, 14},
    {IDCANCEL, ControlKind::button, u"Отмена", 0x50010000, 341, 159, 50, 14},
    {IDC_SHOW_ALL, ControlKind::button, u"Все", 0x50010000, 7, 159, 50, 14},
    // border, tab stop, multi-line, read-only, both scroll bars, ES_AUTOHSCROLL
    {IDC_PREVIEW, ControlKind::edit, u"", 0x50B10884, 194, 27, 197, 126},
};

}  // namespace

const DialogTemplate kScribletDialogTemplate{
    IDD_SCRIBLET_DIALOG, u"Scriblet", u"MS Shell Dlg", 8, kScribletStyle, kAppWindow,
    249, 250, kScribletControls};

const DialogTemplate kSearchDialogTemplate{
    IDD_SEARCH_DIALOG, u"Scriblet", u"MS Shell Dlg", 8, kSearchStyle, kToolAppWindow,
    398, 180, kSearchControls};

#pragma once
// Numbers of the program's resources and of the controls in its dialogs.

inline constexpr int IDD_SCRIBLET_DIALOG = 102;  // instructions window
inline constexpr int IDR_MAINFRAME = 128;        // program icon
inline constexpr int IDD_SEARCH_DIALOG = 130;    // search window

// Instructions window.
inline constexpr int IDC_HELP_TEXT = 1000;

// Search window.
inline constexpr int IDC_QUERY = 1000;
inline constexpr int IDC_RESULTS = 1001;
inline constexpr int IDC_SHOW_ALL = 1002;
inline constexpr int IDC_PREVIEW = 1003;

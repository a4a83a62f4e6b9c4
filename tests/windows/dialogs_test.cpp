// The Win32 dialogs driven as a user would, by key messages to the focused
// control inside the dialog's own modal loop, checking what the controls
// show. Needs a display (the test command runs Wine in a virtual X server).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/scriblet_dlg.h"
#include "res/help_text.h"
#include "res/resource_ids.h"
#include "platform/window/message_box.h"
#include "search/search_dlg.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"
#include "tests/support/warning_search.h"

#include "platform/os/windows_api.h"

namespace {

using Step = std::function<void(HWND dialog)>;

struct ModalRun {
  int result;     // what DoModal returned
  bool leftOpen;  // the steps did not close the window; the driver closed it
};

// The steps run one per timer tick inside the modal loop, so that what one
// step posted has been handled when the next one looks.
struct Script {
  std::vector<Step> steps;
  std::size_t next = 0;
  bool leftOpen = false;
};
Script* g_script = nullptr;

HWND ShownDialog() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM out) -> BOOL {
        if (!IsWindowVisible(hwnd)) return TRUE;
        *reinterpret_cast<HWND*>(out) = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  const HWND dialog = ShownDialog();
  if (!dialog || !g_script) return;
  if (g_script->next < g_script->steps.size()) {
    g_script->steps[g_script->next++](dialog);
  } else if (g_script->next++ == g_script->steps.size()) {
    g_script->leftOpen = true;
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  }
}

// A step that runs again on the next ticks until done() holds (for up to
// three seconds): work the dialog queued for later may come after a tick.
Step WaitFor(std::function<bool()> done) {
  return [done, ticks = 0](HWND) mutable {
    if (!done() && ++ticks < 100) --g_script->next;
  };
}

ModalRun RunModal(CDialog& dialog, std::vector<Step> steps) {
  Script script{std::move(steps)};
  g_script = &script;
  const UINT_PTR timer = SetTimer(nullptr, 0, 30, Tick);
  const int result = dialog.DoModal();
  KillTimer(nullptr, timer);
  g_script = nullptr;
  return {result, script.leftOpen};
}

// Key presses go to whatever has the focus, as the keyboard's would.
void Type(const std::u16string& text) {
  for (char16_t c : text) PostMessageW(GetFocus(), WM_CHAR, c, 1);
}
void Press(WPARAM key) {
  PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
  PostMessageW(GetFocus(), WM_KEYUP, key, 0xC0000001);
}

using Names = std::vector<std::u16string>;

class SearchWindow : public ::testing::Test {
 protected:
  SearchWindow() {
    dlg.m_pWordIndex = &index;
    dlg.m_strFolder = dir.folder();
  }
  void Note(const std::u16string& name, const std::string& text, const Names& words) {
    std::ofstream(dir.path() / std::filesystem::path(name), std::ios::binary) << text;
    for (const auto& word : words) Link(word, name);
  }

  // Records that the note holds the word.
  void Link(const std::u16string& word, const std::u16string& note) {
    const WordIndex::Id id = index.InsertWord(word);
    index.AddNote(index.InternNote(note), std::span(&id, 1));
  }

  Names Listed() const {
    Names names;
    for (int i = 0; i < dlg.m_listResults.GetItemCount(); ++i) {
      names.push_back(dlg.m_listResults.GetItemText(i));
    }
    return names;
  }

  TempDir dir;
  WordIndex index;
  TestEnv env;
  CSearchDlg dlg{env};
};

TEST_F(SearchWindow, RanksAsTypedMovesFromTheQueryAndOpensWithEnter) {
  Note(u"tea.txt", "milk tea", {u"milk", u"tea"});
  Note(u"Молочное.txt", "milkshake", {u"milkshake"});
  Note(u"other.txt", "coffee", {u"coffee"});
  const ModalRun run = RunModal(dlg, {
      [&](HWND) {
        EXPECT_EQ(dlg.GetFocusedControl(), IDC_QUERY);
        EXPECT_TRUE(Listed().empty());
        Type(u"MILK");
      },
      WaitFor([&] { return Listed() == Names{u"tea.txt", u"Молочное.txt"}; }),
      [&](HWND) {
        EXPECT_EQ(Listed(), (Names{u"tea.txt", u"Молочное.txt"}));
        EXPECT_FALSE(dlg.IsControlEnabled(IDC_SHOW_ALL));
        Press(VK_DOWN);
      },
      [&](HWND) {
        EXPECT_EQ(dlg.m_listResults.GetFirstSelectedItem(), 0);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_PREVIEW), u"milk tea");
        EXPECT_EQ(dlg.GetFocusedControl(), IDC_QUERY);
        Press(VK_DOWN);
      },
      [&](HWND) {
        EXPECT_EQ(dlg.m_listResults.GetFirstSelectedItem(), 1);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_PREVIEW), u"milkshake");
        Press(VK_RETURN);
      },
      [&](HWND) {
        ASSERT_EQ(env.launches.size(), 1u);
        EXPECT_EQ(env.launches[0].notePath, dir.folder() + u"Молочное.txt");
        EXPECT_EQ(env.launches[0].workingDir, dir.folder());
        Press(VK_ESCAPE);
      },
  });
  EXPECT_EQ(run.result, IDCANCEL);
  EXPECT_FALSE(run.leftOpen);
}

TEST_F(SearchWindow, ShowAllIsEnabledOnlyWhenMoreNotesMatchThanAreListed) {
  for (int i = 0; i < 21; ++i) Note(u"n" + std::u16string(1, u'a' + i) + u".txt", "x", {u"x"});
  const ModalRun run = RunModal(dlg, {
      [&](HWND) { Type(u"x"); },
      WaitFor([&] { return !Listed().empty(); }),
      [&](HWND) {
        EXPECT_EQ(Listed().size(), 20u);
        EXPECT_TRUE(dlg.IsControlEnabled(IDC_SHOW_ALL));
        Press(VK_BACK);
      },
      WaitFor([&] { return Listed().empty(); }),
      [&](HWND) {
        EXPECT_TRUE(Listed().empty());
        EXPECT_FALSE(dlg.IsControlEnabled(IDC_SHOW_ALL));
      },
  });
  EXPECT_TRUE(run.leftOpen);
  EXPECT_EQ(run.result, IDCANCEL);
}

// Once searches are slow, the keys typed meanwhile are handled before the
// queued search, which then ranks the query as it is by then; work queued
// when the window closes first never runs.
TEST_F(SearchWindow, SlowSearchesWaitForTheTypingAndRankTheLatestQuery) {
  Note(u"A.txt", "d", {u"d"});
  Note(u"B.txt", "dog", {u"dog"});
  dlg.m_instantSearch = std::chrono::nanoseconds(-1);  // every search counts as slow
  std::u16string queryWhenRun;
  bool ranAfterClose = false;
  const ModalRun run = RunModal(dlg, {
      [&](HWND) {
        Type(u"do");
        dlg.PostLater([&] { queryWhenRun = dlg.GetDlgItemText(IDC_QUERY); });
      },
      WaitFor([&] { return !queryWhenRun.empty(); }),
      [&](HWND) {
        EXPECT_EQ(queryWhenRun, u"do");
        EXPECT_EQ(Listed(), (Names{u"B.txt"}));
        Press(VK_ESCAPE);
        dlg.PostLater([&] { ranAfterClose = true; });
      },
  });
  EXPECT_FALSE(run.leftOpen);
  EXPECT_FALSE(ranAfterClose);
}

// Keys typed ahead of a waiting search come before it; Down and Enter among
// them must still act on the ranking of the query typed before them.
TEST_F(SearchWindow, EnterTypedAheadOfAWaitingSearchOpensTheLatestQuerysNote) {
  Note(u"A.txt", "d", {u"d"});
  Note(u"B.txt", "dog", {u"dog"});
  dlg.m_instantSearch = std::chrono::nanoseconds(-1);  // every search counts as slow
  RunModal(dlg, {
      [&](HWND) { Type(u"d"); },
      WaitFor([&] { return Listed() == Names{u"A.txt", u"B.txt"}; }),
      [&](HWND) {
        Type(u"og");
        Press(VK_DOWN);
        Press(VK_RETURN);
      },
      WaitFor([&] { return Listed() == Names{u"B.txt"}; }),
      [&](HWND) {
        ASSERT_EQ(env.launches.size(), 1u);
        EXPECT_EQ(env.launches[0].notePath, dir.folder() + u"B.txt");
      },
  });
}

TEST_F(SearchWindow, NamesReachingOutsideTheFolderAreNeitherReadNorOpened) {
  Note(u"A.txt", "safe", {u"cat"});
  std::filesystem::create_directory(dir.path() / "sub");
  Note(u"sub\\x.txt", "inside a subfolder", {u"cats"});
  for (const char16_t* name : {u"..\\secret.txt", u"A.txt:stream", u"C:x.txt"}) {
    Link(u"scat", name);
  }
  const ModalRun run = RunModal(dlg, {
      [&](HWND) { Type(u"cat"); },
      WaitFor([&] { return Listed().size() == 5; }),
      [&](HWND) {
        ASSERT_EQ(Listed().size(), 5u);
        Press(VK_DOWN);
      },
      [&](HWND) {
        EXPECT_EQ(dlg.GetDlgItemText(IDC_PREVIEW), u"safe");
        Press(VK_RETURN);
        for (int i = 0; i < 4; ++i) Press(VK_DOWN);
      },
      [&](HWND) {
        EXPECT_EQ(dlg.m_listResults.GetFirstSelectedItem(), 4);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_PREVIEW), u"safe");
        Press(VK_RETURN);
        Press(VK_ESCAPE);
      },
  });
  EXPECT_EQ(run.result, IDCANCEL);
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].notePath, dir.folder() + u"A.txt");
  EXPECT_EQ(env.opened, (Names{dir.folder() + u"A.txt"}));
}

// A shown window of this thread other than besides, or null.
HWND OtherShownWindow(HWND besides) {
  std::pair<HWND, HWND> search{besides, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM out) -> BOOL {
        auto& [skip, found] = *reinterpret_cast<std::pair<HWND, HWND>*>(out);
        if (hwnd == skip || !IsWindowVisible(hwnd)) return TRUE;
        found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.second;
}

// While the editor warning is up the search window takes no clicks, as on
// Linux: else the warning can end up behind it, where Enter and Escape in
// the search window do nothing.
TEST(SearchWindowWarning, HoldsTheSearchWindowUntilClosed) {
  WarningSearch warning;
  BoxEnv& env = warning.env;
  CSearchDlg& dlg = warning.dlg;
  HWND search = nullptr;
  HWND box = nullptr;
  RunModal(dlg, {
      [&](HWND window) {
        search = window;
        Type(u"cat");
      },
      WaitFor([&] { return dlg.m_listResults.GetItemCount() == 1; }),
      [&](HWND) { Press(VK_DOWN); },
      [&](HWND) { Press(VK_RETURN); },
      WaitFor([&] { return (box = OtherShownWindow(search)) != nullptr; }),
      [&](HWND) {
        ASSERT_NE(box, nullptr);
        EXPECT_FALSE(IsWindowEnabled(search));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      },
  });
  EXPECT_EQ(env.messages.size(), 1u);
}

TEST(InstructionsWindow, ShowsTheHelpTextAndClosesWithEnter) {
  CScribletDlg dlg;
  const ModalRun run = RunModal(dlg, {
      [&](HWND window) {
        EXPECT_EQ(dlg.GetDlgItemText(IDC_HELP_TEXT), std::u16string(kHelpText));
        EXPECT_EQ(dlg.GetFocusedControl(), IDOK);
        wchar_t caption[32];
        GetWindowTextW(window, caption, 32);
        EXPECT_STREQ(caption, L"Scriblet");
        EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
        Press(VK_RETURN);
      },
  });
  EXPECT_EQ(run.result, IDOK);
  EXPECT_FALSE(run.leftOpen);
}

// A dialog opens in the middle of the screen, not in its corner.
TEST(Dialogs, OpenInTheMiddleOfTheScreen) {
  const auto centred = [](HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_LT(std::abs((r.left + r.right) / 2 - width / 2), width / 8) << r.left;
    EXPECT_LT(std::abs((r.top + r.bottom) / 2 - height / 2), height / 8) << r.top;
  };
  CScribletDlg instructions;
  RunModal(instructions, {centred});
  TestEnv env;
  CSearchDlg search(env);
  RunModal(search, {centred});
}

}  // namespace

#include "search/search_dlg.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <filesystem>
#include <set>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/text/code_page.h"
#include "platform/os/editor.h"
#include "platform/text/file_names.h"
#include "platform/window/message_box.h"
#include "platform/window/type_ahead_qt.h"
#include "res/resource_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"
#include "tests/support/warning_search.h"

namespace {

using Names = std::vector<std::u16string>;

class SearchDlg : public ::testing::Test {
 protected:
  SearchDlg() { Attach(dlg); }

  // A window over the same notes, with its own record of launches.
  struct Fresh {
    TestEnv env;
    CSearchDlg dialog{env};
  };
  std::unique_ptr<Fresh> FreshDialog() {
    auto fresh = std::make_unique<Fresh>();
    Attach(fresh->dialog);
    return fresh;
  }

  void Attach(CSearchDlg& dialog) {
    dialog.m_pWordIndex = &index;
    dialog.m_strFolder = dir.folder();
  }
  // Writes a note and records its words in the index.
  void Note(const std::string& name, const std::string& text, const Names& words) {
    std::ofstream(dir.path() / name, std::ios::binary) << text;
    for (const auto& word : words) Link(word, std::u16string(name.begin(), name.end()));
  }

  // Records that the note holds the word.
  void Link(const std::u16string& word, const std::u16string& note) {
    const WordIndex::Id id = index.InsertWord(word);
    index.AddNote(index.InternNote(note), std::span(&id, 1));
  }

  std::u16string Path(const std::string& name) const {
    return dir.folder() + std::u16string(name.begin(), name.end());
  }

  static QListWidget* List(QWidget* window) {
    return qobject_cast<QListWidget*>(Control(window, IDC_RESULTS));
  }

  static Names Listed(QWidget* window) {
    Names names;
    QListWidget* list = List(window);
    for (int i = 0; i < list->count(); ++i) {
      const QString text = list->item(i)->text();
      names.emplace_back(reinterpret_cast<const char16_t*>(text.utf16()), text.size());
    }
    return names;
  }

  // Types text and lets a search the typing made wait run.
  static void Type(QWidget* window, const char* text) {
    QTest::keyClicks(Control(window, IDC_QUERY), text);
    QCoreApplication::processEvents();
  }

  // Replaces the query, as a paste does, and lets a search it made wait
  // run: on a loaded machine any search may count as slow.
  void SetQuery(const std::u16string& text) {
    dlg.SetDlgItemText(IDC_QUERY, text);
    QCoreApplication::processEvents();
  }

  static void Click(QWidget* window, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QListWidget* list = List(window);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualItemRect(list->item(row)).center());
  }

  std::u16string Preview() const { return dlg.GetDlgItemText(IDC_PREVIEW); }

  TempDir dir;
  WordIndex index;
  TestEnv env;
  CSearchDlg dlg{env};
};

TEST_F(SearchDlg, OpensEmptyWithTheFocusInTheQuery) {
  Note("a.txt", "cat", {u"cat"});
  RunModal(dlg, [&](QWidget* window) {
    EXPECT_EQ(List(window)->count(), 0);
    EXPECT_FALSE(Control(window, IDC_SHOW_ALL)->isEnabled());
    EXPECT_EQ(Preview(), u"");
    EXPECT_EQ(QApplication::focusWidget(), Control(window, IDC_QUERY));
  });
}

// Keys typed before the window opened land where they would had it been
// open: after a Tab they belong to the control the Tab moved to, not to
// the query.
TEST_F(SearchDlg, KeysTypedAheadFollowTheFocusTheyMove) {
  Note("A.txt", "cat", {u"cat"});
  {
    QWidget elsewhere;
    const TypeAheadHold hold;
    QTest::keyClicks(&elsewhere, "cat");
    QTest::keyClick(&elsewhere, Qt::Key_Tab);
    QTest::keyClicks(&elsewhere, "x");
  }
  RunModal(dlg, [&](QWidget* window) {
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg.GetDlgItemText(IDC_QUERY), u"cat");
    EXPECT_EQ(QApplication::focusWidget(), List(window));
  });
}

TEST_F(SearchDlg, TypingRanksTheNotes) {
  Note("A.txt", "cat", {u"cat"});
  Note("B.txt", "cats concatenate", {u"cats", u"concatenate"});
  RunModal(dlg, [&](QWidget* window) {
    Type(window, "Ca");
    EXPECT_EQ(Listed(window), (Names{u"B.txt", u"A.txt"}));  // 20 before 10
    Type(window, "t");
    EXPECT_EQ(Listed(window), (Names{u"A.txt", u"B.txt"}));  // 110 before 20
    Type(window, ",");
    EXPECT_TRUE(Listed(window).empty());
  });
}

TEST_F(SearchDlg, ShowAllIsEnabledOnlyWhenMoreThanTwentyMatch) {
  for (int i = 0; i < 21; ++i) {
    const std::string name = std::string(1, 'n') + std::to_string(i) + ".txt";
    Note(name, "x", i < 20 ? Names{u"cat", u"dog"} : Names{u"cat"});
  }
  RunModal(dlg, [&](QWidget* window) {
    QWidget* all = Control(window, IDC_SHOW_ALL);
    Type(window, "dog");
    EXPECT_EQ(Listed(window).size(), 20u);
    EXPECT_FALSE(all->isEnabled());
    SetQuery(u"cat");
    const Names first = Listed(window);
    EXPECT_EQ(first.size(), 20u);
    EXPECT_TRUE(all->isEnabled());
    QTest::mouseClick(all, Qt::LeftButton);
    const Names every = Listed(window);
    ASSERT_EQ(every.size(), 21u);
    EXPECT_EQ(Names(every.begin(), every.begin() + 20), first);
    EXPECT_TRUE(all->isEnabled());
  });
}

TEST_F(SearchDlg, ShowAllListsEveryScoredNoteInRankOrderUntilTheQueryChanges) {
  // Note k has k words containing "ab" besides "ab": score 100 + 10 * (k + 1).
  Names ranked;
  for (int k = 0; k < 30; ++k) {
    Names words{u"ab"};
    for (int i = 0; i < k; ++i) words.push_back(u"ab" + std::u16string(i + 1, u'x'));
    const std::string name = std::string("n").append(std::to_string(k)).append(".txt");
    Note(name, "x", words);
    ranked.insert(ranked.begin(), std::u16string(name.begin(), name.end()));
  }
  RunModal(dlg, [&](QWidget* window) {
    Type(window, "ab");
    EXPECT_EQ(Listed(window), Names(ranked.begin(), ranked.begin() + 20));
    QTest::mouseClick(Control(window, IDC_SHOW_ALL), Qt::LeftButton);
    EXPECT_EQ(Listed(window), ranked);
    Type(window, "x");  // "abx": n1 and up
    EXPECT_EQ(Listed(window), Names(ranked.begin(), ranked.begin() + 20));
    EXPECT_TRUE(Control(window, IDC_SHOW_ALL)->isEnabled());
  });
}

TEST_F(SearchDlg, ArrowsInTheQueryMoveThroughTheResults) {
  Note("A.txt", "first note", {u"cat"});
  Note("B.txt", "second note", {u"cats"});
  RunModal(dlg, [&](QWidget* window) {
    QWidget* query = Control(window, IDC_QUERY);
    Type(window, "cat");
    Press(window, Qt::Key_Down);
    EXPECT_EQ(List(window)->currentRow(), 0);
    EXPECT_EQ(Preview(), u"first note");
    Press(window, Qt::Key_Down);
    EXPECT_EQ(Preview(), u"second note");
    Press(window, Qt::Key_Up);
    EXPECT_EQ(Preview(), u"first note");
    Press(window, Qt::Key_PageDown);
    EXPECT_EQ(Preview(), u"second note");
    Press(window, Qt::Key_PageUp);
    EXPECT_EQ(Preview(), u"first note");
    EXPECT_EQ(QApplication::focusWidget(), query);

    // Left is the query's own: the caret moves, the selection stays.
    Press(window, Qt::Key_Left);
    EXPECT_EQ(qobject_cast<QLineEdit*>(query)->cursorPosition(), 2);
    EXPECT_EQ(List(window)->currentRow(), 0);
  });
}

TEST_F(SearchDlg, EnterOpenAndDoubleClickLaunchTheEditorAndStayOpen) {
  Note("A.txt", "a", {u"cat"});
  Note("B.txt", "b", {u"cats"});
  const ModalRun run = RunModal(dlg, [&](QWidget* window) {
    Type(window, "cat");
    Press(window, Qt::Key_Return);  // nothing selected yet
    EXPECT_TRUE(env.launches.empty());
    Press(window, Qt::Key_Down);
    Press(window, Qt::Key_Return);
    QTest::mouseClick(Control(window, IDOK), Qt::LeftButton);
    Click(window, 1);
    QTest::mouseDClick(List(window)->viewport(), Qt::LeftButton, Qt::NoModifier,
                       List(window)->visualItemRect(List(window)->item(1)).center());
  });
  EXPECT_TRUE(run.leftOpen);
  ASSERT_EQ(env.launches.size(), 3u);
  EXPECT_EQ(env.launches[0].notePath, Path("A.txt"));
  EXPECT_EQ(env.launches[0].workingDir, dir.folder());
  EXPECT_EQ(env.launches[1].notePath, Path("A.txt"));
  EXPECT_EQ(env.launches[2].notePath, Path("B.txt"));
}

TEST_F(SearchDlg, EditorThatCannotBeStartedIsReportedAndTheWindowStaysOpen) {
  Note("A.txt", "a", {u"cat"});
  env.editorStarts = false;
  const ModalRun run = RunModal(dlg, [&](QWidget* window) {
    Type(window, "cat");
    Press(window, Qt::Key_Down);
    Press(window, Qt::Key_Return);
  });
  EXPECT_TRUE(run.leftOpen);
  ASSERT_EQ(env.messages.size(), 1u);
  EXPECT_EQ(env.messages[0].caption, u"Scriblet");
  EXPECT_EQ(env.messages[0].text, EditorNotStartedMessage(Path("A.txt")));
}

TEST_F(SearchDlg, SeveralSelectedUseTheLowestNumbered) {
  Note("A.txt", "a", {u"cat"});
  Note("B.txt", "b", {u"cats"});
  Note("C.txt", "c", {u"scat"});
  RunModal(dlg, [&](QWidget* window) {
    Type(window, "cat");
    ASSERT_EQ(Listed(window), (Names{u"A.txt", u"B.txt", u"C.txt"}));
    Click(window, 2);
    Click(window, 1, Qt::ControlModifier);
    EXPECT_EQ(Preview(), u"b");
    Press(window, Qt::Key_Return);
  });
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].notePath, Path("B.txt"));
}

// Once searches are slow, keys typed during one are not each searched: the
// next search waits for them and ranks the query as it is by then.
TEST_F(SearchDlg, SlowSearchesWaitForTheTypingAndRankTheLatestQuery) {
  Note("A.txt", "d", {u"d"});
  Note("B.txt", "dog", {u"dog"});
  dlg.m_instantSearch = std::chrono::nanoseconds(-1);  // every search counts as slow
  RunModal(dlg, [&](QWidget* window) {
    QTest::keyClicks(Control(window, IDC_QUERY), "do");
    EXPECT_EQ(List(window)->count(), 0);  // "d" alone would list A and B
    QCoreApplication::processEvents();
    EXPECT_EQ(Listed(window), (Names{u"B.txt"}));
  });
}

// Keys and clicks that come while a slow search waits are handled before
// it; what they do must still apply to the query typed before them.
TEST_F(SearchDlg, WhatIsDoneWhileASlowSearchWaitsActsOnTheLatestQuery) {
  Note("A.txt", "d", {u"d"});
  Note("B.txt", "dog", {u"dog"});
  for (int i = 0; i < 25; ++i) {
    std::string name = "n";  // appended: GCC 12 warns wrongly of "n" + std::to_string(i)
    name += std::to_string(i);
    Note(name + ".txt", "x", {u"cat"});
  }
  dlg.m_instantSearch = std::chrono::nanoseconds(-1);  // every search counts as slow
  RunModal(dlg, [&](QWidget* window) {
    QWidget* query = Control(window, IDC_QUERY);
    Type(window, "d");
    ASSERT_EQ(Listed(window), (Names{u"A.txt", u"B.txt"}));
    // "og", Down and Enter typed ahead: "dog" ranks only B.
    QTest::keyClicks(query, "og");
    Press(window, Qt::Key_Down);
    Press(window, Qt::Key_Return);
    QCoreApplication::processEvents();

    // "Все" pressed right after typing lists every match of "cat".
    dlg.SetDlgItemText(IDC_QUERY, u"ca");
    QCoreApplication::processEvents();
    ASSERT_TRUE(Control(window, IDC_SHOW_ALL)->isEnabled());
    QTest::keyClicks(query, "t");
    QTest::mouseClick(Control(window, IDC_SHOW_ALL), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(Listed(window).size(), 25u);
  });
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].notePath, Path("B.txt"));
}

TEST_F(SearchDlg, EscapeClosesFromAnyControl) {
  Note("A.txt", "a", {u"cat"});
  for (int tabs = 0; tabs < 5; ++tabs) {
    const auto fresh = FreshDialog();
    const ModalRun run = RunModal(fresh->dialog, [&](QWidget* window) {
      Type(window, "cat");
      for (int i = 0; i < tabs; ++i) Press(window, Qt::Key_Tab);
      Press(window, Qt::Key_Escape);
    });
    EXPECT_FALSE(run.leftOpen) << tabs << " tabs";
    EXPECT_EQ(run.result, IDCANCEL);
  }
  // A key-up alone belongs to an Escape that closed something else; "Отмена"
  // and the close box close it too.
  const ModalRun released = RunModal(dlg, [&](QWidget*) {
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_TRUE(released.leftOpen);
  for (bool closeBox : {false, true}) {
    const auto fresh = FreshDialog();
    const ModalRun run = RunModal(fresh->dialog, [&](QWidget* window) {
      if (closeBox) window->close();
      else QTest::mouseClick(Control(window, IDCANCEL), Qt::LeftButton);
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.result, IDCANCEL);
  }
}

TEST_F(SearchDlg, PreviewShowsAtMost2047BytesUpToAZeroByte) {
  const std::string big(5000, 'x');
  Note("big.txt", big, {u"big"});
  Note("short.txt", std::string(2047, 'y'), {u"short"});
  Note("zero.txt", std::string("ab\0cd", 5), {u"zero"});
  Note("lead.txt", std::string("\0ab", 3), {u"lead"});
  RunModal(dlg, [&](QWidget* window) {
    auto show = [&](const char* query) {
      SetQuery(std::u16string(query, query + std::strlen(query)));
      Click(window, 0);
      return Preview();
    };
    EXPECT_EQ(show("big"), std::u16string(2047, u'x'));
    EXPECT_EQ(show("short"), std::u16string(2047, u'y'));
    EXPECT_EQ(show("zero"), u"ab");
    EXPECT_EQ(show("lead"), u"");
  });
}

TEST_F(SearchDlg, PreviewDropsAUtf8CharacterSplitByTheCut) {
  const int before = AnsiCodePage();
  SetAnsiCodePage(65001);
  Note("u.txt", std::string(2046, 'a') + "\xC3\xA9" + "z", {u"u"});
  RunModal(dlg, [&](QWidget* window) {
    Type(window, "u");
    Click(window, 0);
    EXPECT_EQ(Preview(), std::u16string(2046, u'a'));
  });
  SetAnsiCodePage(before);
}

TEST_F(SearchDlg, UnreadableNoteKeepsThePreviousPreview) {
  Note("A.txt", "kept", {u"cat"});
  Note("B.txt", "gone", {u"cats"});
  Note("C.txt", "broken", {u"scat"});
  env.unreadable.insert(Path("C.txt"));
  RunModal(dlg, [&](QWidget* window) {
    Type(window, "cat");
    Click(window, 0);
    ASSERT_EQ(Preview(), u"kept");
    std::filesystem::remove(dir.path() / "B.txt");
    Click(window, 1);
    EXPECT_EQ(Preview(), u"kept");
    Click(window, 2);
    EXPECT_EQ(Preview(), u"kept");
    // Gone since the refresh: no longer a note to open, and the user is told.
    Click(window, 1);
    Press(window, Qt::Key_Return);
  });
  EXPECT_TRUE(env.launches.empty());
  ASSERT_EQ(env.messages.size(), 1u);
  EXPECT_NE(env.messages[0].text.find(Path("B.txt")), std::u16string::npos);
}

// A line break or a tab pasted into the query separates words as a space
// does; a name holding one shows on one row and opens by its real name.
TEST_F(SearchDlg, LineBreaksInQueriesAndNamesAreNoMoreThanSpaces) {
  Note("A.txt", "a", {u"cat"});
  Note("B.txt", "b", {u"dog"});
  Note("two\nlines.txt", "c", {u"cow"});
  RunModal(dlg, [&](QWidget* window) {
    SetQuery(u"cat\r\ndog\tcow");
    QListWidget* list = List(window);
    ASSERT_EQ(list->count(), 3);
    int twoLines = -1;
    for (int row = 0; row < 3; ++row) {
      EXPECT_EQ(list->visualItemRect(list->item(row)).height(),
                list->visualItemRect(list->item(0)).height());
      if (list->item(row)->text().startsWith("two")) twoLines = row;
    }
    ASSERT_NE(twoLines, -1);
    Click(window, twoLines);
    EXPECT_EQ(Preview(), u"c");
    Press(window, Qt::Key_Return);
  });
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].notePath, Path("two\nlines.txt"));
}

// A refilled list starts at its best match, however far the user had
// scrolled the list before.
TEST_F(SearchDlg, ARefilledListShowsItsBestMatch) {
  for (int i = 0; i < 40; ++i) {
    std::string name(40, char('a' + i % 26));
    name += std::to_string(i);
    Note(name + ".txt", "x", i < 20 ? Names{u"cat"} : Names{u"cats"});
  }
  RunModal(dlg, [&](QWidget* window) {
    QListWidget* list = List(window);
    Type(window, "cat");
    ASSERT_GT(list->horizontalScrollBar()->maximum(), 0);
    list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
    ASSERT_FALSE(list->viewport()->rect().intersects(list->visualItemRect(list->item(0))));
    Type(window, "s");
    QCoreApplication::processEvents();
    const QRect first = list->visualItemRect(list->item(0));
    EXPECT_TRUE(first.left() >= 0 && list->viewport()->rect().intersects(first));
  });
}

// Qt would make the first result current, unselected, as the list gains
// the focus, and Down would skip it: keys after a Tab into the list, or
// back out of it, act as they do from the query.
TEST_F(SearchDlg, KeysAfterTabbingIntoTheListActAsFromTheQuery) {
  Note("A.txt", "first", {u"cat"});
  Note("B.txt", "second", {u"cats"});
  Note("C.txt", "third", {u"scat"});
  using Keys = std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>;
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  const std::pair<Keys, std::u16string> cases[] = {
      {{{Qt::Key_Down, none}}, u"first"},
      {{{Qt::Key_End, none}}, u"third"},
      {{{Qt::Key_Home, none}}, u"first"},
      {{{Qt::Key_Down, Qt::KeypadModifier}}, u"first"},
      {{{Qt::Key_Tab, Qt::ShiftModifier}, {Qt::Key_Down, none}}, u"first"},  // from the query
      {{{Qt::Key_Tab, Qt::ShiftModifier}, {Qt::Key_Tab, none}, {Qt::Key_Down, none}}, u"first"},
  };
  for (const auto& [keys, shown] : cases) {
    const auto fresh = FreshDialog();
    RunModal(fresh->dialog, [&](QWidget* window) {
      Type(window, "cat");
      Press(window, Qt::Key_Tab);
      ASSERT_EQ(QApplication::focusWidget(), List(window));
      for (const auto& [key, modifiers] : keys) Press(window, key, modifiers);
      EXPECT_EQ(fresh->dialog.GetDlgItemText(IDC_PREVIEW), shown) << keys.back().first;
    });
  }
}

TEST_F(SearchDlg, ALeadingByteOrderMarkStaysInNamesAndPreviews) {
  const int before = AnsiCodePage();
  SetAnsiCodePage(65001);
  const std::u16string marked = u"\uFEFFa.txt";
  std::ofstream(dir.path() / "\xEF\xBB\xBF" "a.txt", std::ios::binary) << "\xEF\xBF\xBE" "marked";
  Link(u"cat", marked);
  Note("a.txt", "plain", {u"dog"});
  RunModal(dlg, [&](QWidget* window) {
    Type(window, "cat");
    ASSERT_EQ(Listed(window), (Names{marked}));
    Click(window, 0);
    EXPECT_EQ(Preview(), u"\uFFFEmarked");
    Press(window, Qt::Key_Return);
  });
  SetAnsiCodePage(before);
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].notePath, dir.folder() + marked);
}

TEST_F(SearchDlg, OnlyRegularTxtFilesDirectlyInTheFolderAreOpened) {
  // Names a crafted index can hold; only the last two are notes.
  Note("fifo.txt", "", {u"cat"});
  std::filesystem::remove(dir.path() / "fifo.txt");
  ASSERT_EQ(mkfifo((dir.path() / "fifo.txt").c_str(), 0644), 0);
  Note("folder.txt", "", {u"cat"});
  std::filesystem::remove(dir.path() / "folder.txt");
  std::filesystem::create_directory(dir.path() / "folder.txt");
  Note("notes.ndx", "index", {u"cat"});
  Note("a:b.txt", "colon", {u"cat"});
  Note("gone.txt", "", {u"cat"});
  std::filesystem::remove(dir.path() / "gone.txt");
  Note("UPPER.TXT", "upper", {u"cat"});
  Note("lower.txt", "lower", {u"cat"});
  RunModal(dlg, [&](QWidget* window) {
    Type(window, "cat");
    ASSERT_EQ(List(window)->count(), 7);
    for (int row = 0; row < 7; ++row) {
      Click(window, row);
      Press(window, Qt::Key_Return);
    }
  });
  ASSERT_EQ(env.launches.size(), 2u);
  EXPECT_EQ((std::set<std::u16string>{env.launches[0].notePath, env.launches[1].notePath}),
            (std::set<std::u16string>{Path("UPPER.TXT"), Path("lower.txt")}));
}

TEST_F(SearchDlg, ARelativeFolderOpensTheNoteByItsAbsolutePath) {
  Note("A.txt", "a", {u"cat"});
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::u16string cwd = FromNativeName(std::filesystem::current_path().string());
  dlg.m_strFolder = u"./";
  RunModal(dlg, [&](QWidget* window) {
    Type(window, "cat");
    Press(window, Qt::Key_Down);
    Press(window, Qt::Key_Return);
  });
  std::filesystem::current_path(before);
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].notePath, cwd + u"/./A.txt");
  EXPECT_EQ(env.launches[0].workingDir, u"./");
}

TEST_F(SearchDlg, NamesReachingOutsideTheFolderAreNeitherReadNorOpened) {
  Note("A.txt", "safe", {u"cat"});
  std::filesystem::create_directory(dir.path() / "sub");
  Note("sub/x.txt", "outside", {u"cats"});
  Link(u"scat", u"..");
  RunModal(dlg, [&](QWidget* window) {
    Type(window, "cat");
    ASSERT_EQ(List(window)->count(), 3);
    Click(window, 0);
    for (int row : {1, 2}) {
      Click(window, row);
      EXPECT_EQ(Preview(), u"safe");
      Press(window, Qt::Key_Return);
    }
  });
  EXPECT_TRUE(env.launches.empty());
  EXPECT_EQ(env.opened, (Names{Path("A.txt")}));
}

// Escape goes down on a context menu of the query or the preview, which
// closes, and comes up over the search window: the user only dismissed the
// menu.
TEST_F(SearchDlg, EscapeThatDismissesAContextMenuLeavesTheWindowOpen) {
  Note("A.txt", "a", {u"cat"});
  for (const int id : {IDC_QUERY, IDC_PREVIEW}) {
    const auto fresh = FreshDialog();
    const ModalRun run = RunModal(fresh->dialog, [&](QWidget* window) {
      Type(window, "cat");
      QWidget* field = Control(window, id);
      field->setFocus();
      QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), field->mapToGlobal(QPoint(5, 5)));
      QApplication::sendEvent(id == IDC_PREVIEW ? qobject_cast<QPlainTextEdit*>(field)->viewport() : field,
                              &menuKey);
      QWidget* menu = QApplication::activePopupWidget();
      ASSERT_NE(menu, nullptr) << id;
      QTest::keyPress(menu, Qt::Key_Escape);
      ASSERT_EQ(QApplication::activePopupWidget(), nullptr) << id;
      ASSERT_TRUE(window->isVisible()) << id;
      QWidget* focus = QApplication::focusWidget();
      QTest::keyRelease(focus != nullptr ? focus : window, Qt::Key_Escape);
    });
    EXPECT_TRUE(run.leftOpen) << "control " << id;
  }
}

// Escape goes down on the warning, which closes at once, and comes up over
// the search window: the user only dismissed the warning.
TEST(SearchDlgWarning, EscapeThatDismissesTheWarningLeavesTheWindowOpen) {
  WarningSearch search;
  BoxEnv& env = search.env;
  CSearchDlg& dlg = search.dlg;
  const ModalRun run = RunModal(dlg, [&](QWidget* window) {
    QTest::keyClicks(Control(window, IDC_QUERY), "cat");
    QCoreApplication::processEvents();
    Press(window, Qt::Key_Down);
    QTimer::singleShot(0, [window] {
      QWidget* box = QApplication::activeModalWidget();
      if (box != nullptr && box != window) QTest::keyPress(box, Qt::Key_Escape);
    });
    Press(window, Qt::Key_Return);  // the editor cannot be started
    ASSERT_EQ(env.messages.size(), 1u);
    ASSERT_TRUE(window->isVisible()) << "closed before Escape came up";
    QWidget* focus = QApplication::focusWidget();
    QTest::keyRelease(focus != nullptr ? focus : window, Qt::Key_Escape);
  });
  EXPECT_TRUE(run.leftOpen);
}

}  // namespace

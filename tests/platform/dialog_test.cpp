#include "platform/window/dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTextDocument>
#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "platform/window/list_ctrl.h"
#include "platform/window/message_box.h"
#include "tests/support/dialog_driver.h"

namespace {

constexpr int kLine = 1000, kList = 1001, kExtra = 1002, kMulti = 1003;

constexpr ControlTemplate kControls[] = {
    {kLine, ControlKind::edit, u"", 0x50810080, 7, 7, 100, 14},
    {kList, ControlKind::listView, u"", 0x5081080B, 7, 27, 100, 60},
    {kMulti, ControlKind::edit, u"", 0x50B10884, 110, 27, 100, 60},
    {IDOK, ControlKind::button, u"OK", 0x50010001, 110, 90, 50, 14},
    {IDCANCEL, ControlKind::button, u"Cancel", 0x50010000, 165, 90, 50, 14},
    {kExtra, ControlKind::button, u"More", 0x50010000, 7, 90, 50, 14},
};
constexpr DialogTemplate kTemplate{7, u"Test", u"MS Shell Dlg", 8, 0x80C800C8, 0, 220, 110,
                                   kControls};

struct Seen {
  KeyMessage::Action action;
  Key key;
  bool operator==(const Seen&) const = default;
};

class TestDlg : public CDialog {
 public:
  TestDlg() : CDialog(kTemplate) {
    for (Notification n : {Notification::clicked, Notification::textChanged,
                           Notification::itemChanged, Notification::doubleClicked}) {
      for (int id : {kLine, kList, kExtra, kMulti}) {
        OnNotify(n, id, [this, n, id] { notifications.emplace_back(n, id); });
      }
    }
  }
  const char* GetRuntimeClass() const override { return "TestDlg"; }

  CListCtrl list;
  std::vector<Seen> keys;
  std::set<Key> stopped;      // keys the pre-filter swallows
  bool forwardToList = false;  // hand Up/Down to the list, as a search field does
  std::vector<bool> listReplies;
  std::vector<std::pair<Notification, int>> notifications;

 protected:
  void DoDataExchange() override { BindList(kList, list); }
  bool PreTranslateMessage(const KeyMessage& message) override {
    keys.push_back({message.action, message.key});
    if (forwardToList && (message.key == Key::up || message.key == Key::down)) {
      listReplies.push_back(list.SendKey(message));
      return listReplies.back();
    }
    return stopped.count(message.key) != 0;
  }
};

using A = KeyMessage::Action;

TEST(Dialog, PreFilterSeesEachKeyDownAndUpOnce) {
  TestDlg dlg;
  RunModal(dlg, [&](QWidget* window) {
    ASSERT_EQ(dlg.GetFocusedControl(), kLine);
    // 'a' is used by the field; Up is not and travels on to the dialog.
    Press(window, Qt::Key_A);
    Press(window, Qt::Key_Up);
  });
  const std::vector<Seen> expected{
      {A::down, Key::other}, {A::up, Key::other}, {A::down, Key::up}, {A::up, Key::up}};
  EXPECT_EQ(dlg.keys, expected);
}

TEST(Dialog, PreFilterCanSwallowKeysAndEscapeStillCancels) {
  TestDlg dlg;
  dlg.stopped = {Key::other};
  const ModalRun run = RunModal(dlg, [&](QWidget* window) {
    QTest::keyClicks(QApplication::focusWidget(), "ab");
    EXPECT_EQ(dlg.GetDlgItemText(kLine), u"");
    Press(window, Qt::Key_Escape);
  });
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(run.result, IDCANCEL);
}

TEST(Dialog, ButtonsAndCloseBoxEndOrNotify) {
  for (int id : {IDOK, IDCANCEL}) {
    TestDlg dlg;
    const ModalRun run = RunModal(
        dlg, [&](QWidget* window) { QTest::mouseClick(Control(window, id), Qt::LeftButton); });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.result, id);
  }
  TestDlg dlg;
  const ModalRun run = RunModal(dlg, [&](QWidget* window) {
    QTest::mouseClick(Control(window, kExtra), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    window->close();  // the close box
  });
  EXPECT_FALSE(run.leftOpen);
  EXPECT_EQ(run.result, IDCANCEL);
  EXPECT_EQ(dlg.notifications, (std::vector<std::pair<Notification, int>>{
                                   {Notification::clicked, kExtra}}));
}

TEST(Dialog, EditsReportChangesAndKeepCrLf) {
  TestDlg dlg;
  RunModal(dlg, [&](QWidget*) {
    QTest::keyClicks(QApplication::focusWidget(), "hi");
    EXPECT_EQ(dlg.GetDlgItemText(kLine), u"hi");
    dlg.SetDlgItemText(kMulti, u"a\nb\r\nc\rd\u00A0e\r\n");
    EXPECT_EQ(dlg.GetDlgItemText(kMulti), u"a\r\nb\r\nc\r\nd\u00A0e\r\n");
  });
  EXPECT_EQ(dlg.notifications, (std::vector<std::pair<Notification, int>>{
                                   {Notification::textChanged, kLine},
                                   {Notification::textChanged, kLine},
                                   {Notification::textChanged, kMulti}}));
}

TEST(ListCtrl, FillingIsSilentAndUserSelectionNotifies) {
  TestDlg dlg;
  RunModal(dlg, [&](QWidget* window) {
    for (const char16_t* text : {u"one", u"two", u"three"}) {
      dlg.list.InsertItem(dlg.list.GetItemCount(), text);
    }
    EXPECT_EQ(dlg.list.InsertItem(99, u"four"), 3);
    EXPECT_EQ(dlg.list.GetItemText(1), u"two");
    EXPECT_EQ(dlg.list.GetItemText(7), u"");
    EXPECT_EQ(dlg.list.GetFirstSelectedItem(), -1);

    auto* list = qobject_cast<QListWidget*>(Control(window, kList));
    auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
      QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                        list->visualItemRect(list->item(row)).center());
    };
    click(2, Qt::NoModifier);
    click(1, Qt::ControlModifier);
    EXPECT_EQ(dlg.list.GetFirstSelectedItem(), 1);
    // A double click starts as a click.
    click(0, Qt::NoModifier);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                       list->visualItemRect(list->item(0)).center());
    const std::size_t before = dlg.notifications.size();
    dlg.list.DeleteAllItems();
    EXPECT_EQ(dlg.notifications.size(), before);
    EXPECT_EQ(dlg.list.GetItemCount(), 0);
  });
  ASSERT_FALSE(dlg.notifications.empty());
  EXPECT_EQ(dlg.notifications.front(), std::make_pair(Notification::itemChanged, kList));
  EXPECT_EQ(std::count(dlg.notifications.begin(), dlg.notifications.end(),
                       std::make_pair(Notification::doubleClicked, kList)),
            1);
  // Unbound once the window is gone.
  EXPECT_EQ(dlg.list.GetItemCount(), 0);
  EXPECT_EQ(dlg.GetDlgItemText(kLine), u"");
}

TEST(ListCtrl, ForwardedArrowsMoveTheSelectionWhileTheFocusStays) {
  TestDlg dlg;
  dlg.forwardToList = true;
  RunModal(dlg, [&](QWidget* window) {
    dlg.list.InsertItem(0, u"one");
    dlg.list.InsertItem(1, u"two");
    Press(window, Qt::Key_Down);
    EXPECT_EQ(dlg.list.GetFirstSelectedItem(), 0);
    Press(window, Qt::Key_Down);
    EXPECT_EQ(dlg.list.GetFirstSelectedItem(), 1);
    Press(window, Qt::Key_Down);  // already at the end
    EXPECT_EQ(dlg.list.GetFirstSelectedItem(), 1);
    Press(window, Qt::Key_Up);
    EXPECT_EQ(dlg.list.GetFirstSelectedItem(), 0);
    EXPECT_EQ(dlg.GetFocusedControl(), kLine);
  });
  // Key-ups are not the list's business; the move past the end did nothing.
  EXPECT_EQ(dlg.listReplies,
            (std::vector<bool>{true, false, true, false, false, false, true, false}));
}

// A path may hold anything a file name can, markup and entities included.
TEST(MessageBox, ShowsItsTextAsWritten) {
  const std::u16string text = u"Ошибка создания файла /mnt/<b>x</b>/a&lt;b.txt";
  QString shown;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    // What the label renders, by Qt's own rule for its text format.
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    QTextDocument rendered;
    if (rich) rendered.setHtml(label->text());
    else rendered.setPlainText(label->text());
    shown = rendered.toPlainText();
    box->close();
  });
  EXPECT_TRUE(ShowMessageBox(u"scriblet", text));
  EXPECT_EQ(shown.toStdU16String(), text);
}

}  // namespace

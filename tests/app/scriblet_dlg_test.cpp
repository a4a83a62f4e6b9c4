#include "app/scriblet_dlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <string>
#include <vector>

#include "res/help_text.h"
#include "res/resource_ids.h"
#include "tests/support/dialog_driver.h"

namespace {

std::vector<std::u16string> Lines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(u"\r\n", start)) != std::u16string_view::npos;
       start = end + 2) {
    lines.emplace_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text after the last CR LF";
  return lines;
}

TEST(HelpText, HasTwelveLinesWithTheirExactPunctuation) {
  const std::vector<std::u16string> lines = Lines(kHelpText);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], u"Что и это и зачем.");
  EXPECT_EQ(lines[3], u"");
  EXPECT_EQ(lines[4], u"Формат запуска:");
  EXPECT_EQ(lines[7], u"");
  EXPECT_EQ(lines[8], u"И зачем это?");
  // No stray CR or LF inside a line.
  for (const auto& line : lines) EXPECT_EQ(line.find_first_of(u"\r\n"), std::u16string::npos);

  EXPECT_NE(lines[1].find(u"\u00ABвременных\u00BB"), std::u16string::npos);
  for (int i : {2, 5, 6}) {
    EXPECT_NE(lines[i].find(u" \u2013 "), std::u16string::npos) << "line " << i + 1;
    EXPECT_EQ(lines[i].find(u" - "), std::u16string::npos) << "line " << i + 1;
  }
  EXPECT_NE(lines[9].find(u"удобно - задавать"), std::u16string::npos);
  EXPECT_EQ(lines[9].find(u'\u2013'), std::u16string::npos);
  EXPECT_TRUE(lines[9].ends_with(u"всякие кнопочки :)"));

  EXPECT_TRUE(lines[10].starts_with(u"*"));
  EXPECT_TRUE(lines[10].ends_with(u"scriblet@example.org"));
  EXPECT_TRUE(lines[11].ends_with(u"https://example.org/scriblet"));
}

TEST(ScribletDlg, ShowsTheWholeHelpTextReadOnlyWithFocusOnOk) {
  CScribletDlg dlg;
  const ModalRun run = RunModal(dlg, [&](QWidget* window) {
    auto* edit = qobject_cast<QPlainTextEdit*>(Control(window, IDC_HELP_TEXT));
    ASSERT_NE(edit, nullptr);
    QString shown = QString::fromUtf16(kHelpText.data(), static_cast<qsizetype>(kHelpText.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(edit->toPlainText(), shown);
    EXPECT_EQ(dlg.GetDlgItemText(IDC_HELP_TEXT), kHelpText);
    // Fonts here may wrap the text to more lines than the field was sized
    // for: every line must still be within reach.
    EXPECT_TRUE(edit->verticalScrollBar()->maximum() == 0 || edit->verticalScrollBar()->isVisible())
        << "lines hidden below the field";

    auto* ok = qobject_cast<QPushButton*>(Control(window, IDOK));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), ok);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_NE(window->findChild<QLabel*>()->text().indexOf(QStringLiteral("Краткая инструкция:")), -1);

    // The user can reach the text but not change it.
    Press(window, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), edit);
    QTest::keyClicks(edit, "xyz");
    Press(window, Qt::Key_Delete);
    Press(window, Qt::Key_Backspace);
    EXPECT_EQ(dlg.GetDlgItemText(IDC_HELP_TEXT), kHelpText);
  });
  EXPECT_TRUE(run.leftOpen);
}

TEST(ScribletDlg, HasCaptionAndIconButNoCaptionButtons) {
  CScribletDlg dlg;
  RunModal(dlg, [](QWidget* window) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Scriblet"));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    const QList<QSize> sizes = window->windowIcon().availableSizes();
    for (int size : {16, 32, 72}) EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
  });
}

TEST(ScribletDlg, OkEnterAndEscapeEachCloseIt) {
  {
    CScribletDlg dlg;
    const ModalRun run = RunModal(dlg, [](QWidget* window) {
      QTest::mouseClick(Control(window, IDOK), Qt::LeftButton);
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.result, IDOK);
  }
  {
    CScribletDlg dlg;
    const ModalRun run = RunModal(dlg, [](QWidget* window) { Press(window, Qt::Key_Return); });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.result, IDOK);
  }
  {
    // Enter in the help text still presses the default button.
    CScribletDlg dlg;
    const ModalRun run = RunModal(dlg, [](QWidget* window) {
      Press(window, Qt::Key_Tab);
      Press(window, Qt::Key_Enter);
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.result, IDOK);
  }
  {
    CScribletDlg dlg;
    const ModalRun run = RunModal(dlg, [](QWidget* window) { Press(window, Qt::Key_Escape); });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.result, IDCANCEL);
  }
}

}  // namespace

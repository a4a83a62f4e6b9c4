#include "search/search_dlg.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <string_view>
#include <utility>

#include "index/notes_folder.h"
#include "platform/text/ansi_text.h"
#include "platform/os/editor.h"
#include "platform/framework/exceptions.h"
#include "platform/text/file_names.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "search/scoring.h"

namespace {

// The preview reads this much and shows one byte less.
constexpr std::size_t kPreviewRead = 2048;
constexpr std::size_t kPreviewShown = kPreviewRead - 1;

}  // namespace

CSearchDlg::CSearchDlg(Env& env) : CDialog(kSearchDialogTemplate), m_env(env) {
  OnNotify(Notification::textChanged, IDC_QUERY, [this] { OnQueryChanged(); });
  OnNotify(Notification::clicked, IDC_SHOW_ALL, [this] {
    m_searchPosted = false;  // this search reads the latest query itself
    RunSearch(std::numeric_limits<int>::max());
  });
  OnNotify(Notification::itemChanged, IDC_RESULTS, [this] { UpdatePreview(); });
  OnNotify(Notification::doubleClicked, IDC_RESULTS, [this] { OpenSelectedNote(); });
}

void CSearchDlg::DoDataExchange() {
  BindList(IDC_RESULTS, m_listResults);
  RunSearch(kMaxListedNotes);
}

bool CSearchDlg::PreTranslateMessage(const KeyMessage& message) {
  switch (message.key) {
    case Key::escape:
      // Its key-down closes the window, so a key-up alone is the end of an
      // Escape that closed something over it (a context menu, the editor
      // warning): the user dismissed that, not the search.
      if (message.action == KeyMessage::Action::up) return true;
      OnCancel();
      return false;
    case Key::pageUp:
    case Key::pageDown:
    case Key::up:
    case Key::down:
      // Lets the user move through the results while typing the query.
      RunWaitingSearch();
      return m_listResults.SendKey(message);
    case Key::other:
      return false;
  }
  return false;
}

// A double-click opens the row the user sees, but Enter may come typed ahead
// of a waiting search.
void CSearchDlg::OnOK() {
  RunWaitingSearch();
  OpenSelectedNote();
}

void CSearchDlg::OnQueryChanged() {
  if (m_searchPosted) return;  // the posted search will read this change too
  if (m_lastSearch <= m_instantSearch) {
    RunSearch(kMaxListedNotes);
    return;
  }
  m_searchPosted = true;
  PostLater([this] { RunWaitingSearch(); });
}

void CSearchDlg::RunWaitingSearch() {
  if (std::exchange(m_searchPosted, false)) RunSearch(kMaxListedNotes);
}

void CSearchDlg::RunSearch(int limit) {
  const auto start = std::chrono::steady_clock::now();
  std::u16string query = GetDlgItemText(IDC_QUERY);
  // A pasted line break or tab parts words as a space does.
  std::replace_if(query.begin(), query.end(),
                  [](char16_t c) { return c == u'\r' || c == u'\n' || c == u'\t'; }, u' ');
  const RankedNotes ranked = m_pWordIndex ? RankNotes(query, *m_pWordIndex, limit) : RankedNotes{};
  m_listResults.SetRedraw(false);
  m_listResults.DeleteAllItems();
  for (std::size_t i = 0; i < ranked.names.size(); ++i) {
    m_listResults.InsertItem(static_cast<int>(i), ranked.names[i]);
  }
  m_listResults.SetRedraw(true);
  EnableControl(IDC_SHOW_ALL, ranked.count > kMaxListedNotes);
  m_lastSearch = std::chrono::steady_clock::now() - start;
}

std::u16string CSearchDlg::SelectedNote() const {
  const int item = m_listResults.GetFirstSelectedItem();
  if (item < 0) return {};
  std::u16string name = m_listResults.GetItemText(item);
  // Names come from the index file, which anyone can edit: a name that would
  // reach outside the notes folder (or is the folder itself) is not a note.
  return IsPlainFileName(name) ? name : std::u16string();
}

void CSearchDlg::UpdatePreview() {
  if (m_listResults.GetFirstSelectedItem() < 0) {
    SetDlgItemText(IDC_PREVIEW, u"");
    return;
  }
  // A note that cannot be read leaves the preview as it was.
  const std::u16string name = SelectedNote();
  if (name.empty()) return;
  const std::unique_ptr<CFile> file = m_env.OpenForRead(m_strFolder + name);
  if (!file) return;
  char bytes[kPreviewRead];
  std::size_t size;
  try {
    size = file->Read(bytes, sizeof bytes);
  } catch (const CFileException&) {
    return;
  }
  std::string_view shown(bytes, std::min(size, kPreviewShown));
  shown = shown.substr(0, shown.find('\0'));
  // Cut inside the note's text: a character split by the cut is dropped.
  const bool cut = shown.size() == kPreviewShown && size > kPreviewShown && bytes[kPreviewShown] != '\0';
  SetDlgItemText(IDC_PREVIEW, cut ? AnsiPrefixToWide(shown) : AnsiToWide(shown));
}

void CSearchDlg::OpenSelectedNote() {
  // Only what the refresh would take for a note: a crafted index may name
  // a FIFO, a folder or notes.ndx itself, and a note may be gone since the
  // refresh; the user is told rather than left wondering. The editor starts
  // in the notes folder, where a relative path would name another file or none.
  const std::u16string name = SelectedNote();
  if (name.empty()) return;
  const std::u16string path = m_env.AbsolutePath(m_strFolder + name);
  if (!IsNote(m_env, m_strFolder, name)) {
    std::u16string text = u"Заметка не найдена:\n";
    text += path;
    text += u"\nЕё удалили или переименовали после того, как открылось окно поиска.";
    m_env.ShowWarning(u"Scriblet", text);
    return;
  }
  if (!m_env.StartEditor(path, m_strFolder)) {
    m_env.ShowWarning(u"Scriblet", EditorNotStartedMessage(path));
  }
}

#pragma once
// The search window. As the query is typed, the notes of the word index are
// ranked (RankNotes) and at most 20 listed; "Все", enabled when more scored,
// lists them all until the query changes; selecting one previews its first
// bytes; Enter, "Открыть" or a double-click opens it (when it still is a
// note) in the text editor and the window stays open (an editor that cannot
// be started is reported in a message box); Escape, "Отмена" or the close
// box end it.
//
// The caller sets m_pWordIndex and m_strFolder before DoModal, and keeps the
// word index alive and unchanged until DoModal returns.

#include <chrono>
#include <string>

#include "index/word_index.h"
#include "platform/window/dialog.h"
#include "platform/os/env.h"
#include "platform/window/list_ctrl.h"

class CSearchDlg : public CDialog {
 public:
  // env serves the note reads of the preview and the editor launches; it
  // must outlive the dialog.
  explicit CSearchDlg(Env& env);

  const char* GetRuntimeClass() const override { return "CSearchDlg"; }

  const WordIndex* m_pWordIndex = nullptr;  // borrowed, read only
  std::u16string m_strFolder;               // the notes folder, ending in '/'
  CListCtrl m_listResults;                  // the result list while shown
  // A search that took longer than this makes the next changes of the query
  // wait until the keys typed meanwhile are handled, and then searches once
  // for the query as it is by then: typing never queues up searches.
  std::chrono::steady_clock::duration m_instantSearch = std::chrono::milliseconds(16);

 protected:
  void DoDataExchange() override;
  bool PreTranslateMessage(const KeyMessage& message) override;
  void OnOK() override;

 private:
  // Lists the best limit notes for the query.
  void RunSearch(int limit);
  void OnQueryChanged();
  // Runs a search still waiting for the typing to pause, so that keys typed
  // after the query act on that query's results.
  void RunWaitingSearch();
  void UpdatePreview();
  void OpenSelectedNote();

  // The selected note's file name if it names a file inside the folder,
  // else empty.
  std::u16string SelectedNote() const;

  Env& m_env;
  std::chrono::steady_clock::duration m_lastSearch{};  // how long the last search took
  bool m_searchPosted = false;
};

#pragma once
// A search window over one note, A.txt listed under "cat", whose editor
// cannot be started and whose warning is the real message box: the editor
// warning as the user meets it, on either system.

#include <fstream>
#include <span>
#include <string>

#include "index/word_index.h"
#include "platform/window/message_box.h"
#include "search/search_dlg.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

// Warnings go to the real message box, whose keys are its own.
class BoxEnv : public TestEnv {
 public:
  bool ShowWarning(const std::u16string& caption, const std::u16string& text) override {
    TestEnv::ShowWarning(caption, text);
    return ShowMessageBox(caption, text);
  }
};

struct WarningSearch {
  WarningSearch() {
    std::ofstream(dir.path() / "A.txt", std::ios::binary) << "a";
    const WordIndex::Id cat = index.InsertWord(u"cat");
    index.AddNote(index.InternNote(u"A.txt"), std::span(&cat, 1));
    env.editorStarts = false;
    dlg.m_pWordIndex = &index;
    dlg.m_strFolder = dir.folder();
  }

  TempDir dir;
  WordIndex index;
  BoxEnv env;
  CSearchDlg dlg{env};
};

#include "index/refresh_reporting_memory.h"

#include <cstdio>
#include <new>

#include "index/refresh.h"
#include "platform/framework/exceptions.h"

namespace {

// Tells the message whether memory ran out in the window or in the index
// work, whose save may end after the window.
class ShownWindow : public SearchWindow {
 public:
  explicit ShownWindow(SearchWindow& window) : window_(window) {}
  void Show(WordIndex& words, const std::u16string& notesFolder) override {
    try {
      window_.Show(words, notesFolder);
    } catch (...) {
      failedInWindow = true;
      throw;
    }
  }
  bool failedInWindow = false;

 private:
  SearchWindow& window_;
};

}  // namespace

bool RefreshReportingMemory(Env& env, const std::u16string& folderText, SearchWindow& window,
                            RefreshProgress* progress) {
  ShownWindow shownWindow(window);
  try {
    Refresh(env, folderText, shownWindow, progress);
    return true;
  } catch (const std::bad_alloc&) {
  } catch (const CMemoryException&) {
  }
  std::fputs(shownWindow.failedInWindow ? "scriblet: out of memory in the search window\n"
                               : "scriblet: out of memory; notes.ndx was left as it was\n",
             stderr);
  return false;
}

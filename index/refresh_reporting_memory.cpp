#include "index/refresh_reporting_memory.h"

#include <cstdio>
#include <new>

#include "index/refresh.h"
#include "platform/framework/exceptions.h"

namespace {

// Tells the message whether the index work was done when memory ran out.
class ShownWindow : public SearchWindow {
 public:
  explicit ShownWindow(SearchWindow& window) : window_(window) {}
  void Show(WordIndex& words, const std::u16string& notesFolder) override {
    shown = true;
    window_.Show(words, notesFolder);
  }
  bool shown = false;

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
  std::fputs(shownWindow.shown ? "scriblet: out of memory in the search window\n"
                               : "scriblet: out of memory; notes.ndx was left as it was\n",
             stderr);
  return false;
}

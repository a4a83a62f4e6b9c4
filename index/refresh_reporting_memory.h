#pragma once
// The refresh as the search mode runs it: exhausted memory ends it with one
// line on standard error instead of an uncaught exception.

#include <string>

#include "index/refresh_progress.h"
#include "index/search_window.h"
#include "platform/os/env.h"

// Runs Refresh(env, folderText, window, progress). Returns false when memory ran out,
// after writing one line to standard error. Outside the window that leaves
// notes.ndx as it was: the save replaces it all at once, as its last step;
// notes renamed by then keep their new names and are indexed by the next
// refresh. A save that runs out of memory is reported after the window
// closed.
bool RefreshReportingMemory(Env& env, const std::u16string& folderText, SearchWindow& window,
                            RefreshProgress* progress = nullptr);

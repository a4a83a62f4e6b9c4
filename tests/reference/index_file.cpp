#include "tests/reference/index_file.h"

#include <memory>
#include <new>

#include "index/archive.h"
#include "platform/framework/exceptions.h"

namespace reference {

namespace {

void Forget(CMapStringToString& stamps, CMapStringToString& wordLists, WordIndex* wordIndex) {
  stamps.Clear();
  wordLists.Clear();
  if (wordIndex != nullptr) {
    Free(*wordIndex);
    wordIndex->Clear();
  }
}

void Store(CFile& file, CMapStringToString& stamps, CMapStringToString& wordLists) {
  CArchive ar(file, CArchive::store);
  stamps.Exchange(ar);
  wordLists.Exchange(ar);
  ar.Close();
  file.Flush();
  file.Close();
}

}  // namespace

void LoadIndexFile(Env& env, const std::u16string& folder, CMapStringToString& stamps,
                   CMapStringToString& wordLists, WordIndex* wordIndex) {
  // One failure scope for the reads and the expansion: whatever fails, the
  // caller sees an empty index and treats every note as new.
  try {
    const std::unique_ptr<CFile> file = env.OpenForRead(folder + kIndexFileName);
    if (!file) return;
    CArchive ar(*file, CArchive::load);
    stamps.Exchange(ar);
    wordLists.Exchange(ar);
    if (wordIndex != nullptr) Expand(wordLists, *wordIndex);
    ar.Close();
    file->Close();
  } catch (const CException&) {
    Forget(stamps, wordLists, wordIndex);
  } catch (const std::bad_alloc&) {
    Forget(stamps, wordLists, wordIndex);
  }
}

bool SaveIndexFile(Env& env, const std::u16string& folder, CMapStringToString& stamps,
                   CMapStringToString& wordLists) {
  // Written beside the old file and renamed over it, so that a crash or a
  // full disk never leaves a half-written index behind.
  std::u16string tempPath;
  std::unique_ptr<CFile> file = env.CreateTempFile(folder, &tempPath);
  if (!file) return false;
  bool written = false;
  try {
    Store(*file, stamps, wordLists);
    written = true;
  } catch (const CException&) {
  } catch (const std::bad_alloc&) {
  }
  file.reset();
  if (written && env.RenameReplacing(tempPath, folder + kIndexFileName)) return true;
  env.RemoveFile(tempPath);
  return false;
}

}  // namespace reference

// libFuzzer target: the index-file load over any bytes as notes.ndx. The
// load must end, without a sanitizer report, in either a whole index or an
// empty one; a whole one must save back to a file that loads the same.

#include <cstdint>
#include <memory>
#include <string>

#include "index/index_file.h"
#include "platform/text/code_page.h"
#include "tests/support/memory_file.h"
#include "tests/support/test_env.h"

namespace {

// Serves notes.ndx from memory and keeps what a save writes.
class MemoryEnv : public TestEnv {
 public:
  std::string index;
  std::string saved;
  std::unique_ptr<CFile> OpenForRead(const std::u16string&) override {
    return std::make_unique<MemoryFile>(index);
  }
  std::unique_ptr<CFile> CreateTempFile(const std::u16string&, std::u16string* path) override {
    *path = u"saved";
    saved.clear();
    return std::make_unique<MemoryFile>(saved);
  }
  bool RenameReplacing(const std::u16string&, const std::u16string&) override { return true; }
  bool RemoveFile(const std::u16string&) override { return true; }
};

bool SameMaps(CMapStringToString& a, CMapStringToString& b) {
  if (a.Count() != b.Count()) return false;
  for (const auto* e = a.FirstEntry(); e != nullptr; e = a.NextEntry(e)) {
    const auto* other = b.FindEntry(e->key);
    if (other == nullptr || other->value != e->value) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetAnsiCodePage(1251);  // 8-bit strings go through a real code page
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryEnv env;
  env.index.assign(reinterpret_cast<const char*>(data), size);
  CMapStringToString stamps;
  WordIndex words;
  LoadIndexFile(env, u"/", stamps, words);
  if (stamps.Count() == 0 && words.WordCount() == 0) return 0;

  // What loaded whole saves, and that file loads to the same maps. A load
  // puts each stamp chain's pairs in again, newest first, so a save after
  // it writes each chain reversed, as the old maps did: the bytes come back
  // after two rounds, not one.
  if (!SaveIndexFile(env, u"/", stamps, words)) __builtin_trap();
  const std::string first = env.saved;
  for (int round = 0; round < 2; ++round) {
    env.index = env.saved;
    CMapStringToString stamps2;
    WordIndex words2;
    LoadIndexFile(env, u"/", stamps2, words2);
    if (!SameMaps(stamps, stamps2)) __builtin_trap();
    if (!SaveIndexFile(env, u"/", stamps2, words2)) __builtin_trap();
  }
  if (env.saved != first) __builtin_trap();
  return 0;
}

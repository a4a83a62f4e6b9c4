// libFuzzer target: the index-file load over any bytes as notes.ndx. The
// load must end, without a sanitizer report, in either a whole index or an
// empty one; a whole one must save back to a file that loads the same.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "index/archive.h"
#include "index/index_file.h"
#include "platform/code_page.h"
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
  bool ReplaceFile(const std::u16string&, const std::u16string&) override { return true; }
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

// A saved file's word lists, each word's names sorted: a load puts words
// and names in a new walk order, so only the content must survive.
std::map<std::u16string, std::vector<std::u16string>> WordLists(std::string bytes) {
  MemoryFile file(bytes);
  CArchive ar(file, CArchive::load);
  for (std::uint32_t n = ar.ReadCount(); n > 0; --n) {
    ar.ReadString();
    ar.ReadString();
  }
  std::map<std::u16string, std::vector<std::u16string>> lists;
  for (std::uint32_t n = ar.ReadCount(); n > 0; --n) {
    std::u16string word = ar.ReadString();
    const std::u16string list = ar.ReadString();
    std::vector<std::u16string>& names = lists[word];
    for (std::size_t begin = 0; begin <= list.size();) {
      const std::size_t end = std::min(list.find(u':', begin), list.size());
      names.push_back(list.substr(begin, end - begin));
      begin = end + 1;
    }
    std::sort(names.begin(), names.end());
  }
  return lists;
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

  // What loaded whole saves, and that file loads to the same stamps and
  // saves the same word lists again.
  if (!SaveIndexFile(env, u"/", stamps, words)) __builtin_trap();
  const std::string first = env.saved;
  env.index = first;
  CMapStringToString stamps2;
  WordIndex words2;
  LoadIndexFile(env, u"/", stamps2, words2);
  if (!SameMaps(stamps, stamps2)) __builtin_trap();
  if (!SaveIndexFile(env, u"/", stamps2, words2)) __builtin_trap();
  if (WordLists(first) != WordLists(env.saved)) __builtin_trap();
  return 0;
}

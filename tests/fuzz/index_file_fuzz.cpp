// libFuzzer target: the index-file load over any bytes as notes.ndx. The
// load must end, without a sanitizer report, in either a whole index or an
// empty one, and save what the old code saves from the same bytes; a whole
// one must save back to a file that loads the same. The same bytes handed
// over in short reads (so that a buffer's end falls inside any field) must
// load the same, and a length that the file no longer has (another program
// wrote it meanwhile) may fail the load but never change what loads.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "index/index_file.h"
#include "platform/text/code_page.h"
#include "tests/reference/index_file.h"
#include "tests/support/memory_file.h"
#include "tests/support/test_env.h"

namespace {

// The bytes in reads of at most `part` bytes, and a length that is off by
// `lie` bytes.
class ShortReadFile : public MemoryFile {
 public:
  ShortReadFile(std::string& bytes, std::size_t part, std::int64_t lie)
      : MemoryFile(bytes), size_(bytes.size()), part_(part), lie_(lie) {}
  std::size_t Read(void* buf, std::size_t n) override { return MemoryFile::Read(buf, std::min(n, part_)); }
  std::uint64_t GetLength() override {
    return lie_ < 0 && static_cast<std::uint64_t>(-lie_) > size_ ? 0 : size_ + lie_;
  }

 private:
  std::uint64_t size_;
  std::size_t part_;
  std::int64_t lie_;
};

// Serves notes.ndx from memory and keeps what a save writes.
class MemoryEnv : public TestEnv {
 public:
  std::string index;
  std::string saved;
  std::size_t part = 0;  // 0: whole reads
  std::int64_t lie = 0;
  std::unique_ptr<CFile> OpenForRead(const std::u16string&) override {
    if (part == 0) return std::make_unique<MemoryFile>(index);
    return std::make_unique<ShortReadFile>(index, part, lie);
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

// What a save of an index that loaded nothing writes: two empty maps.
const std::string kNothing(4, '\0');

// Loads env.index as served with part and lie; what a save of it writes.
std::string LoadAndSave(MemoryEnv& env, std::size_t part, std::int64_t lie) {
  env.part = part;
  env.lie = lie;
  CMapStringToString stamps;
  WordIndex words;
  LoadIndexFile(env, u"/", stamps, words);
  env.part = 0;
  env.lie = 0;
  if (!SaveIndexFile(env, u"/", stamps, words)) __builtin_trap();
  return env.saved;
}

// What the old code saves after loading env.index.
std::string SavedByTheOldCode(MemoryEnv& env) {
  reference::CMapStringToString stamps;
  reference::CMapStringToString lists;
  reference::WordIndex words;
  reference::LoadIndexFile(env, u"/", stamps, lists, &words);
  reference::Flatten(words, lists);
  reference::Free(words);
  if (!reference::SaveIndexFile(env, u"/", stamps, lists)) __builtin_trap();
  return env.saved;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetAnsiCodePage(1251);  // 8-bit strings go through a real code page
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryEnv env;
  env.index.assign(reinterpret_cast<const char*>(data), size);
  const std::string whole = LoadAndSave(env, 0, 0);
  if (SavedByTheOldCode(env) != whole) __builtin_trap();
  // The pieces' size and the length's error, told by the input so that a
  // crash replays.
  const std::uint8_t last = size > 0 ? data[size - 1] : 0;
  if (LoadAndSave(env, 1 + last % 29, 0) != whole) __builtin_trap();
  const std::string lied = LoadAndSave(env, 1 + last % 7, last % 2 == 0 ? -(last % 40) : last % 40);
  if (lied != kNothing && lied != whole) __builtin_trap();
  if (whole == kNothing) return 0;

  // What loaded whole saves, and that file loads to the same maps. A load
  // puts each stamp chain's pairs in again, newest first, so a save after
  // it writes each chain reversed, as the old maps did: the bytes come back
  // after two rounds, not one.
  CMapStringToString stamps;
  WordIndex words;
  LoadIndexFile(env, u"/", stamps, words);
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

// Checks an index file as the crash loop needs: it must be exactly what a
// save writes for the pairs it holds (both maps whole, nothing cut, nothing
// after them). Prints the names of the stamp map, one a line.
// Usage: index_check <notes.ndx>. Exit status 0 when whole, 1 when not.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "index/archive.h"
#include "platform/framework/exceptions.h"
#include "platform/text/file_names.h"
#include "tests/support/memory_file.h"

namespace {

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: index_check <notes.ndx>\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) return 1;
  std::string bytes(std::istreambuf_iterator<char>(in), {});

  Pairs maps[2];
  std::string again;
  try {
    MemoryFile file(bytes);
    CArchive load(file, CArchive::load);
    for (Pairs& pairs : maps) {
      for (std::uint32_t n = load.ReadCount(); n > 0; --n) {
        std::u16string key = load.ReadString();
        pairs.emplace_back(std::move(key), load.ReadString());
      }
    }
    MemoryFile out(again);
    CArchive store(out, CArchive::store);
    for (const Pairs& pairs : maps) {
      store.WriteCount(static_cast<std::uint32_t>(pairs.size()));
      for (const auto& [key, value] : pairs) {
        store.WriteString(key);
        store.WriteString(value);
      }
    }
    store.Close();
  } catch (const CException&) {
    return 1;
  }
  if (again != bytes) return 1;
  for (const auto& [name, stamp] : maps[0]) std::cout << ToNativeName(name) << '\n';
  return 0;
}

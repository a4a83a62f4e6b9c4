// Times the folder refresh, headless, on a generated notes folder:
//   refresh_bench [notes] [rounds]     (defaults: 1000 notes, 3 rounds)
// Each round makes a fresh folder and runs three refreshes, each in a fresh
// process so that its peak memory is its own: the first one (no index yet),
// one with nothing changed, and one after 1% of the notes changed. The
// median of the rounds is printed. Notes are UTF-8 (code page 65001).

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "index/refresh.h"
#include "index/search_window.h"
#include "platform/code_page.h"
#include "platform/file_names.h"
#include "platform/lower_case.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kBaseTime = 1704447000;  // 2024-01-05 09:30:00 UTC

// Closes at once, as a user who only wanted the index brought up to date.
class ClosedWindow : public SearchWindow {
 public:
  void Show(WordIndex&, const std::u16string&) override {}
};

// A Zipf-like vocabulary: word r (from 1) is drawn with weight 1/r.
class Vocabulary {
 public:
  Vocabulary(std::size_t size, std::mt19937_64& rng) {
    static const char* const kLatin[] = {"ka", "lo", "mi", "ne", "ru", "sa", "to", "vi",
                                         "ba", "de", "fo", "gu", "ja", "pe", "zi", "wo"};
    static const char* const kCyrillic[] = {"ка", "ло", "ми", "не", "ру", "са", "то", "ви",
                                            "ба", "де", "фо", "гу", "жа", "пе", "зи", "шо"};
    std::uniform_int_distribution<int> syllable(0, 15), syllables(1, 4);
    double total = 0;
    for (std::size_t r = 1; r <= size; ++r) {
      const char* const* table = r % 2 == 0 ? kCyrillic : kLatin;
      std::string word;
      for (int n = syllables(rng); n > 0; --n) word += table[syllable(rng)];
      if (r % 7 == 0) word += std::to_string(r);  // some words carry digits
      words_.push_back(word);
      total += 1.0 / static_cast<double>(r);
      cumulative_.push_back(total);
    }
  }

  const std::string& Draw(std::mt19937_64& rng) const {
    std::uniform_real_distribution<double> u(0, cumulative_.back());
    const auto at = std::lower_bound(cumulative_.begin(), cumulative_.end(), u(rng));
    return words_[static_cast<std::size_t>(at - cumulative_.begin())];
  }

 private:
  std::vector<std::string> words_;
  std::vector<double> cumulative_;
};

std::string MakeText(const Vocabulary& vocabulary, std::mt19937_64& rng) {
  // Sizes spread evenly on a log scale from a few bytes to 4 KiB.
  std::uniform_real_distribution<double> logSize(std::log(4.0), std::log(4096.0));
  std::uniform_int_distribution<int> percent(0, 99);
  const auto size = static_cast<std::size_t>(std::exp(logSize(rng)));
  std::string text;
  while (text.size() < size) {
    std::string word = vocabulary.Draw(rng);
    if (percent(rng) < 10 && word[0] >= 'a' && word[0] <= 'z') word[0] -= 'a' - 'A';
    text += word;
    const int p = percent(rng);
    text += p < 8 ? "\n" : p < 15 ? ", " : p < 18 ? ". " : " ";
  }
  return text;
}

void WriteNote(const std::string& path, const std::string& text, std::int64_t mtime) {
  std::ofstream(path, std::ios::binary) << text;
  const timespec times[2] = {{mtime, 0}, {mtime, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Writes the notes; returns the names of ordinary (not time-named) notes
// with text, the ones that the 1% change may touch.
std::vector<std::string> GenerateFolder(const std::string& folder, int notes) {
  std::mt19937_64 rng(20240105);
  const Vocabulary vocabulary(20000, rng);
  std::uniform_int_distribution<int> percent(0, 99);
  std::vector<std::string> ordinary;
  for (int i = 0; i < notes; ++i) {
    const int kind = percent(rng);
    const std::int64_t mtime = kBaseTime + i;
    if (kind < 8) {
      // As the new-note mode names them: "note-%Y.%m.%d-%H.%M.%S.txt".
      char name[64];
      std::snprintf(name, sizeof name, "note-2024.01.%02d-%02d.%02d.%02d.txt", 1 + i / 86400 % 28,
                    i / 3600 % 24, i / 60 % 60, i % 60);
      WriteNote(folder + name, kind < 2 ? std::string() : MakeText(vocabulary, rng), mtime);
    } else {
      std::string name = std::to_string(i);
      name.append(" ").append(vocabulary.Draw(rng)).append(".txt");
      WriteNote(folder + name, MakeText(vocabulary, rng), mtime);
      ordinary.push_back(name);
    }
  }
  return ordinary;
}

void ChangeOnePercent(const std::string& folder, const std::vector<std::string>& ordinary) {
  for (std::size_t i = 0; i < ordinary.size(); i += 100) {
    const std::string path = folder + ordinary[i];
    std::ofstream(path, std::ios::binary | std::ios::app) << "\nedited later with новые слова\n";
    const std::int64_t mtime = kBaseTime + 86400 + static_cast<std::int64_t>(i);
    const timespec times[2] = {{mtime, 0}, {mtime, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
}

// The child: one refresh, its time in milliseconds on standard output.
int RunOneRefresh(const std::string& folder) {
  SetAnsiCodePage(65001);
  SetUserLowerCase(true);
  ClosedWindow window;
  const auto start = std::chrono::steady_clock::now();
  Refresh(Env::Default(), FromNativeName(folder), window);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  std::printf("%.3f\n", took.count());
  return 0;
}

struct Measure {
  double ms;
  long peakKiB;
};

// Runs one refresh in a fresh process of this program.
Measure Spawn(const char* self, const std::string& folder) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t child = fork();
  if (child == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execl(self, self, "--one", folder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  char out[64] = {};
  const ssize_t got = read(fds[0], out, sizeof out - 1);
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (got <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "refresh failed\n");
    std::exit(1);
  }
  return {std::atof(out), usage.ru_maxrss};
}

Measure Median(std::vector<Measure> runs) {
  std::sort(runs.begin(), runs.end(), [](const Measure& a, const Measure& b) { return a.ms < b.ms; });
  return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--one") return RunOneRefresh(argv[2]);

  const int notes = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (notes <= 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: %s [notes] [rounds]\n", argv[0]);
    return 2;
  }

  std::vector<Measure> first, unchanged, changed;
  long indexBytes = 0;
  for (int round = 0; round < rounds; ++round) {
    std::string folder = (fs::temp_directory_path() / "scriblet-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) return 1;
    folder += '/';
    const std::vector<std::string> ordinary = GenerateFolder(folder, notes);
    first.push_back(Spawn(argv[0], folder));
    unchanged.push_back(Spawn(argv[0], folder));
    ChangeOnePercent(folder, ordinary);
    changed.push_back(Spawn(argv[0], folder));
    indexBytes = static_cast<long>(fs::file_size(folder + "notes.ndx"));
    fs::remove_all(folder);
  }

  std::printf("refresh of %d notes, median of %d rounds (index file %ld bytes)\n", notes, rounds,
              indexBytes);
  std::printf("%-28s %12s %14s\n", "phase", "time (ms)", "peak RSS (KiB)");
  const std::pair<const char*, Measure> rows[] = {{"first (no index)", Median(first)},
                                                  {"unchanged", Median(unchanged)},
                                                  {"after 1% changed", Median(changed)}};
  for (const auto& [phase, m] : rows) std::printf("%-28s %12.1f %14ld\n", phase, m.ms, m.peakKiB);
  return 0;
}

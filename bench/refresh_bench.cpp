// Times the folder refresh and the search, headless, on generated folders of
// realistic notes, each figure beside a floor measured in the same run:
//   refresh_bench [notes...]        (default: 1000 10000)
//   refresh_bench --generate <folder> <notes>   (only writes the notes)
// For each size a fresh folder is made: notes of 20 B to 8 KiB (evenly
// spread on a log scale), words drawn from a Zipf vocabulary of 200,000
// words, half of them Cyrillic, UTF-8 (code page 65001). Each refresh runs
// in a fresh process of this program, so that its peak memory is its own:
// - first refresh (no index), until the first keystroke is answered and
//   until notes.ndx is saved (the save goes on while the window answers);
//   floor: read and split every note into words, and write and sync a file
//   as large as the index;
// - nothing changed, until the first keystroke is answered; floor: stat
//   every note and read notes.ndx once;
// - 1% of the notes changed, until the first keystroke is answered and
//   until notes.ndx is saved; floor: nothing changed, run right after each;
// - keystrokes: every prefix of a dozen queries ranked over the index, each
//   five times (median and worst of the prefixes' medians).
// Every timed step runs three times; the median is shown. Last, a refresh
// of a one-note folder whose crafted index holds 1,000,000 tiny entries, or
// 100,000 names that all share one walk hash, beside reading that file.

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
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "index/refresh.h"
#include "index/search_window.h"
#include "platform/text/ansi_text.h"
#include "platform/text/code_page.h"
#include "platform/text/file_names.h"
#include "platform/text/lower_case.h"
#include "search/scoring.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kBaseTime = 1704447000;  // 2024-01-05 09:30:00 UTC
constexpr int kRepeats = 3;
constexpr int kKeystrokeRepeats = 5;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A Zipf vocabulary: word r (from 1) is drawn with weight 1/r; odd ranks
// Latin, even ranks Cyrillic.
class Vocabulary {
 public:
  Vocabulary(std::size_t size, std::mt19937_64& rng) {
    static const char* const kLatin[] = {"ka", "lo", "mi", "ne", "ru", "sa", "to", "vi",
                                         "ba", "de", "fo", "gu", "ja", "pe", "zi", "wo"};
    static const char* const kCyrillic[] = {"ка", "ло", "ми", "не", "ру", "са", "то", "ви",
                                            "ба", "де", "фо", "гу", "жа", "пе", "зи", "шо"};
    std::uniform_int_distribution<int> syllable(0, 15), syllables(1, 5);
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
    return words_[std::min(words_.size() - 1, static_cast<std::size_t>(at - cumulative_.begin()))];
  }

 private:
  std::vector<std::string> words_;
  std::vector<double> cumulative_;
};

std::string MakeText(const Vocabulary& vocabulary, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> logSize(std::log(20.0), std::log(8192.0));
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

void SetTime(const std::string& path, std::int64_t mtime) {
  const timespec times[2] = {{mtime, 0}, {mtime, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Writes the notes; returns the names of ordinary (not time-named) notes,
// the ones that the 1% change touches. Returns the bytes of text in *bytes.
std::vector<std::string> GenerateFolder(const std::string& folder, int notes, std::size_t* bytes) {
  std::mt19937_64 rng(20240105);
  const Vocabulary vocabulary(200000, rng);
  std::uniform_int_distribution<int> percent(0, 99);
  std::vector<std::string> ordinary;
  *bytes = 0;
  for (int i = 0; i < notes; ++i) {
    const std::string text = MakeText(vocabulary, rng);
    *bytes += text.size();
    std::string name;
    if (percent(rng) < 5) {
      // As the new-note mode names them: "note-%Y.%m.%d-%H.%M.%S.txt".
      char stamp[64];
      std::snprintf(stamp, sizeof stamp, "note-2024.01.%02d-%02d.%02d.%02d.txt", 1 + i / 86400 % 28,
                    i / 3600 % 24, i / 60 % 60, i % 60);
      name = stamp;
    } else {
      name = std::to_string(i) + " " + vocabulary.Draw(rng) + ".txt";
      ordinary.push_back(name);
    }
    std::ofstream(folder + name, std::ios::binary) << text;
    SetTime(folder + name, kBaseTime + i);
  }
  return ordinary;
}

void ChangeOnePercent(const std::string& folder, const std::vector<std::string>& ordinary, int round) {
  for (std::size_t i = round; i < ordinary.size(); i += 100) {
    const std::string path = folder + ordinary[i];
    std::ofstream(path, std::ios::binary | std::ios::app) << "\nedited later with новые слова\n";
    SetTime(path, kBaseTime + 86400 * (round + 1) + static_cast<std::int64_t>(i));
  }
}

// Queries of different kinds, typed a character at a time.
const char16_t* const kQueries[] = {
    u"ka",      u"кало",        u"mine",     u"Т",         u"zi ba", u"пеми до",
    u"RUSATO",  u"ЖАВИ",        u"vi7",      u"wowo fofo", u"шо",    u"neka lomi saru",
};

// The search window of the bench: answers one keystroke and reports when
// it did, or times every prefix of the queries.
class BenchWindow : public SearchWindow {
 public:
  explicit BenchWindow(bool typing) : typing_(typing) {}

  void Show(WordIndex& words, const std::u16string&) override {
    const RankedNotes first = RankNotes(u"к", words);
    answered = Clock::now();
    if (typing_ && first.count == 0) std::fprintf(stderr, "no note has the letter к\n");
    if (!typing_) return;
    for (const char16_t* query : kQueries) {
      const std::u16string full(query);
      for (std::size_t n = 1; n <= full.size(); ++n) {
        // The median of a few rankings, so that a moment this process was
        // not running (the machine is shared) does not pass for the search.
        std::vector<double> times;
        for (int i = 0; i < kKeystrokeRepeats; ++i) {
          const Clock::time_point start = Clock::now();
          RankNotes(full.substr(0, n), words);
          times.push_back(MsSince(start));
        }
        std::sort(times.begin(), times.end());
        keystrokes.push_back(times[times.size() / 2]);
      }
    }
  }

  bool typing_;
  Clock::time_point answered;
  std::vector<double> keystrokes;
};

// --- Children: each prints its figures on standard output, then its peak. ---

// The high-water mark of this process's own memory since it was started.
// Not the parent's wait4 figure: a forked child's count starts with the
// pages it shares with the parent, so a large parent would inflate it.
void PrintPeak() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) std::printf("peak %ld\n", std::atol(line.c_str() + 6));
  }
}

int ChildRefresh(const std::string& folder, bool typing) {
  SetAnsiCodePage(65001);
  SetUserLowerCase(true);
  BenchWindow window(typing);
  const Clock::time_point start = Clock::now();
  Refresh(Env::Default(), FromNativeName(folder), window);
  // Refresh returns when notes.ndx is saved, which goes on while the window
  // answers.
  std::printf("%.3f %.3f", std::chrono::duration<double, std::milli>(window.answered - start).count(),
              MsSince(start));
  for (double ms : window.keystrokes) std::printf(" %.4f", ms);
  std::printf("\n");
  PrintPeak();
  return 0;
}

std::vector<std::string> NoteNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename();
    if (name.size() > 4 && name.ends_with(".txt")) names.push_back(name);
  }
  return names;
}

// Floor of a first refresh: read and split every note, write and sync a
// file as large as the index.
int ChildFirstFloor(const std::string& folder, std::size_t indexBytes) {
  SetAnsiCodePage(65001);
  const Clock::time_point start = Clock::now();
  std::size_t words = 0;
  std::string text;
  for (const std::string& name : NoteNames(folder)) {
    const int fd = open((folder + name).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    fstat(fd, &st);
    text.resize(static_cast<std::size_t>(st.st_size));
    text.resize(static_cast<std::size_t>(std::max<ssize_t>(0, read(fd, text.data(), text.size()))));
    close(fd);
    ForEachWord(text, [&words](std::string_view) { ++words; });
  }
  const std::string out = folder + "floor.tmp";
  const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::vector<char> block(std::size_t{1} << 20, 'x');
  for (std::size_t left = indexBytes; left > 0;) {
    const std::size_t part = std::min(left, block.size());
    if (write(fd, block.data(), part) != static_cast<ssize_t>(part)) return 1;
    left -= part;
  }
  fsync(fd);
  close(fd);
  unlink(out.c_str());
  std::printf("%.3f %zu\n", MsSince(start), words);
  PrintPeak();
  return 0;
}

// Floor of an unchanged refresh: stat every note, read notes.ndx once.
int ChildUnchangedFloor(const std::string& folder) {
  const Clock::time_point start = Clock::now();
  std::size_t bytes = 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    struct stat st {};
    stat(e.path().c_str(), &st);
    bytes += static_cast<std::size_t>(st.st_size) & 1;
  }
  const int fd = open((folder + "notes.ndx").c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<char> block(std::size_t{1} << 20);
  for (ssize_t got; (got = read(fd, block.data(), block.size())) > 0;) bytes += static_cast<std::size_t>(got);
  close(fd);
  std::printf("%.3f %zu\n", MsSince(start), bytes);
  PrintPeak();
  return 0;
}

struct Result {
  std::vector<double> numbers;
  long peakKiB;
};

// Runs this program with args in a fresh process. What earlier runs wrote
// is flushed first, so that no run pays for the disk writing another's file.
Result Spawn(const char* self, const std::vector<std::string>& args) {
  sync();
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t child = fork();
  if (child == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv{const_cast<char*>(self)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(self, argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(got));
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "a child run failed\n");
    std::exit(1);
  }
  Result result{{}, usage.ru_maxrss};
  if (const std::size_t at = out.find("peak "); at != std::string::npos) {
    result.peakKiB = std::atol(out.c_str() + at + 5);
  }
  for (char* p = out.data(); *p != '\0';) {
    char* end = nullptr;
    const double value = std::strtod(p, &end);
    if (end == p) break;
    result.numbers.push_back(value);
    p = end;
  }
  return result;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Row(const char* what, double ms, double floorMs, const char* target) {
  std::printf("  %-34s %10.1f ms   floor %10.1f ms   ratio %5.2f  (target %s)\n", what, ms, floorMs,
              floorMs > 0 ? ms / floorMs : 0.0, target);
}

void RunSize(const char* self, int notes) {
  std::string folder = (fs::temp_directory_path() / "scriblet-bench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) std::exit(1);
  folder += '/';
  std::size_t textBytes = 0;
  const std::vector<std::string> ordinary = GenerateFolder(folder, notes, &textBytes);

  // First refresh: each repeat on a copy of the untouched folder, its floor
  // right after it, so that both see the machine as equally busy.
  std::vector<double> first, firstSaved, firstFloor;
  long firstPeak = 0;
  const std::string pristine = folder.substr(0, folder.size() - 1) + "-pristine/";
  fs::copy(folder, pristine, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  for (int i = 0; i < kRepeats; ++i) {
    if (i > 0) {
      fs::remove_all(folder);
      fs::copy(pristine, folder, fs::copy_options::recursive);
    }
    const Result r = Spawn(self, {"--refresh", folder});
    first.push_back(r.numbers.at(0));
    firstSaved.push_back(r.numbers.at(1));
    firstPeak = std::max(firstPeak, r.peakKiB);
    const auto bytes = static_cast<std::size_t>(fs::file_size(folder + "notes.ndx"));
    firstFloor.push_back(Spawn(self, {"--first-floor", folder, std::to_string(bytes)}).numbers.at(0));
  }
  fs::remove_all(pristine);
  const auto indexBytes = static_cast<std::size_t>(fs::file_size(folder + "notes.ndx"));

  std::vector<double> unchanged, unchangedFloor, keystrokes;
  long unchangedPeak = 0;
  long restingPeak = 0;  // the floor's: this program with its libraries, doing little
  for (int i = 0; i < kRepeats; ++i) {
    const Result r = Spawn(self, {"--refresh", folder, i == 0 ? "typing" : "once"});
    unchanged.push_back(r.numbers.at(0));
    unchangedPeak = std::max(unchangedPeak, r.peakKiB);
    if (i == 0) keystrokes.assign(r.numbers.begin() + 2, r.numbers.end());
    const Result floor = Spawn(self, {"--unchanged-floor", folder});
    unchangedFloor.push_back(floor.numbers.at(0));
    restingPeak = std::max(restingPeak, floor.peakKiB);
  }

  // Each 1% change is followed by a refresh with nothing changed, its
  // measure in the same minute.
  std::vector<double> changed, changedSaved, changedBase;
  long changedPeak = 0;
  for (int i = 0; i < kRepeats; ++i) {
    ChangeOnePercent(folder, ordinary, i);
    const Result r = Spawn(self, {"--refresh", folder});
    changed.push_back(r.numbers.at(0));
    changedSaved.push_back(r.numbers.at(1));
    changedPeak = std::max(changedPeak, r.peakKiB);
    changedBase.push_back(Spawn(self, {"--refresh", folder}).numbers.at(0));
  }
  const auto finalIndexBytes = static_cast<std::size_t>(fs::file_size(folder + "notes.ndx"));
  fs::remove_all(folder);

  std::printf("%d notes, %.1f MB of text, notes.ndx %.1f MB (median of %d runs each)\n", notes,
              static_cast<double>(textBytes) / 1e6, static_cast<double>(finalIndexBytes) / 1e6, kRepeats);
  Row("first refresh, first keystroke", Median(first), Median(firstFloor), "<= 2x floor");
  Row("first refresh, index saved", Median(firstSaved), Median(firstFloor), "<= 2x floor");
  Row("nothing changed, first keystroke", Median(unchanged), Median(unchangedFloor), "<= 2x floor");
  Row("1% changed, first keystroke", Median(changed), Median(changedBase), "<= 1.5x nothing changed");
  Row("1% changed, index saved", Median(changedSaved), Median(changedBase), "<= 1.5x nothing changed");
  std::printf("  %-34s %10.1f MB   notes.ndx %8.1f MB   (target <= notes.ndx; the floor's process %.1f MB)\n",
              "peak RSS, any refresh", static_cast<double>(std::max({firstPeak, unchangedPeak, changedPeak})) / 1024.0,
              static_cast<double>(indexBytes) / 1e6, static_cast<double>(restingPeak) / 1024.0);
  std::printf("  %-34s median %7.2f ms   worst %7.2f ms   over %zu prefixes\n", "keystroke (ranking)",
              Median(keystrokes), keystrokes.empty() ? 0.0 : *std::max_element(keystrokes.begin(), keystrokes.end()),
              keystrokes.size());
  std::fflush(stdout);
}

// A one-note folder with a crafted index: count stamps of the given keys.
std::string CraftedFolder(const std::vector<std::u16string>& keys) {
  std::string folder = (fs::temp_directory_path() / "scriblet-crafted-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) std::exit(1);
  folder += '/';
  std::ofstream(folder + "a.txt") << "one note";
  std::string bytes = "\xFF\xFF";
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(keys.size() >> shift & 0xFF);
  for (const std::u16string& key : keys) {
    bytes += "\xFF\xFE\xFF";
    bytes += static_cast<char>(key.size());
    for (const char16_t c : key) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    bytes += '\0';  // an empty 8-bit value
  }
  bytes += std::string(2, '\0');  // no word lists
  std::ofstream(folder + "notes.ndx", std::ios::binary) << bytes;
  return folder;
}

void RunCrafted(const char* self) {
  std::vector<std::u16string> tiny;
  for (int i = 0; i < 1000000; ++i) {
    std::u16string key;
    for (int n = i; n > 0 || key.empty(); n /= 94) key += static_cast<char16_t>(u'!' + n % 94);
    tiny.push_back(key);
  }
  // "xy" and "(x+1)(y-33)" share a walk hash, and so do all strings made of
  // such pairs alike.
  std::vector<std::u16string> colliding;
  for (int i = 0; i < 100000; ++i) {
    std::u16string key;
    for (int bit = 0; bit < 17; ++bit) key += (i >> bit & 1) ? u"bB" : u"c!";
    colliding.push_back(key);
  }
  const std::pair<const char*, const std::vector<std::u16string>*> cases[] = {
      {"1,000,000 tiny entries", &tiny}, {"100,000 names of one walk hash", &colliding}};
  std::printf("crafted index in a one-note folder (median of %d runs each)\n", kRepeats);
  for (const auto& [what, keys] : cases) {
    const std::string folder = CraftedFolder(*keys);
    const auto bytes = static_cast<double>(fs::file_size(folder + "notes.ndx"));
    std::vector<double> load, floor;
    for (int i = 0; i < kRepeats; ++i) {
      fs::copy_file(folder + "notes.ndx", folder + "kept.ndx", fs::copy_options::overwrite_existing);
      load.push_back(Spawn(self, {"--refresh", folder}).numbers.at(1));  // until saved
      fs::rename(folder + "kept.ndx", folder + "notes.ndx");
      floor.push_back(Spawn(self, {"--unchanged-floor", folder}).numbers.at(0));
    }
    char label[96];
    std::snprintf(label, sizeof label, "%s (%.1f MB)", what, bytes / 1e6);
    Row(label, Median(load), Median(floor), "linear in the file");
    fs::remove_all(folder);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--refresh") == 0) {
    return ChildRefresh(argv[2], argc > 3 && std::strcmp(argv[3], "typing") == 0);
  }
  if (argc == 4 && std::strcmp(argv[1], "--first-floor") == 0) {
    return ChildFirstFloor(argv[2], std::strtoull(argv[3], nullptr, 10));
  }
  if (argc == 3 && std::strcmp(argv[1], "--unchanged-floor") == 0) return ChildUnchangedFloor(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "--generate") == 0) {
    std::size_t bytes = 0;
    fs::create_directories(argv[2]);
    GenerateFolder(std::string(argv[2]) + "/", std::atoi(argv[3]), &bytes);
    return 0;
  }

  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000};
  for (const int notes : sizes) {
    if (notes <= 0) {
      std::fprintf(stderr, "usage: %s [notes...]\n", argv[0]);
      return 2;
    }
  }
  for (const int notes : sizes) RunSize(argv[0], notes);
  RunCrafted(argv[0]);
  return 0;
}

#include "index/word_splitter.h"

#include <gtest/gtest.h>

#include <new>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "index/strong_hash.h"
#include "platform/framework/exceptions.h"
#include "platform/text/ansi_text.h"
#include "platform/text/code_page.h"
#include "platform/text/lower_case.h"
#include "tests/support/alloc_failure.h"

namespace {

using Words = std::vector<std::u16string>;

// The plain model: one word per distinct byte run, in the order of its first
// occurrence, converted and lower-cased.
Words ModelWords(std::string_view text) {
  std::unordered_set<std::string_view> runs;
  Words words;
  ForEachWord(text, [&](std::string_view run) {
    if (!runs.insert(run).second) return;
    std::u16string word = AnsiToWide(run);
    LowerCaseInPlace(word);
    words.push_back(std::move(word));
  });
  return words;
}

// Turns the splitter's run numbers back into words, as the refresh does,
// checking that new runs come numbered in order right after the known ones.
class RunBook {
 public:
  Words Expand(const SplitText& split) {
    std::vector<std::u16string> words;
    EXPECT_EQ(split.firstNew, m_words.size());
    for (const std::uint32_t run : split.runs) {
      if (run == m_words.size()) {
        // Into storage a longer word used before.
        std::u16string word(40, u'#');
        const std::uint64_t strong = split.NewWord(run, word);
        EXPECT_EQ(strong, StrongHash(word));
        m_words.push_back(word);
      }
      EXPECT_LT(run, m_words.size());
      if (run < m_words.size()) words.push_back(m_words[run]);
    }
    EXPECT_EQ(m_words.size(), split.firstNew + split.newRuns.size());
    return words;
  }

 private:
  std::vector<std::u16string> m_words;
};

TEST(WordSplitterTest, EachRunOnceInOrderOfFirstOccurrence) {
  SetAnsiCodePage(65001);
  SetUserLowerCase(true);
  WordSplitter splitter;
  RunBook book;
  EXPECT_EQ(book.Expand(splitter.Split("Cat cat, КОТ dog Cat кот").Get()),
            (Words{u"cat", u"cat", u"кот", u"dog", u"кот"}));
  EXPECT_TRUE(book.Expand(splitter.Split(" ,.; ").Get()).empty());
  // Runs met before come back by number only; odd and even lengths that
  // share their first bytes stay apart.
  const SplitText again = splitter.Split("dog cat ca c cats").Get();
  EXPECT_EQ(again.newRuns.size(), 3u);
  EXPECT_EQ(book.Expand(again), (Words{u"dog", u"cat", u"ca", u"c", u"cats"}));
}

// The splitter sleeps until a batch of texts waits, but a result waited for
// never waits for a batch: whatever few texts are queued get split, in
// order, and it sleeps and wakes again as often as needed.
TEST(WordSplitterTest, AWaitedResultNeverWaitsForAFullBatch) {
  SetAnsiCodePage(65001);
  SetUserLowerCase(true);
  WordSplitter splitter;
  RunBook book;
  for (int round = 0; round < 50; ++round) {
    std::vector<SplitResult> results;
    for (int i = 0; i <= round % 5; ++i) results.push_back(splitter.Split("word" + std::to_string(i)));
    results.back().Wait();
    for (SplitResult& result : results) EXPECT_TRUE(result.Ready()) << round;
    for (std::size_t i = 0; i < results.size(); ++i) {
      const std::u16string digit(1, static_cast<char16_t>(u'0' + i));
      EXPECT_EQ(book.Expand(results[i].Get()), Words{u"word" + digit});
    }
  }
}

// Many texts over a shared vocabulary, in two code pages, give what the
// model gives text by text.
TEST(WordSplitterTest, RandomTextsMatchTheModel) {
  for (const int codePage : {65001, 1251}) {
    SetAnsiCodePage(codePage);
    SetUserLowerCase(true);
    std::mt19937 rng(static_cast<unsigned>(codePage));
    const std::vector<std::string> vocabulary = {"a", "ab", "Ab", "abc", "ABC", "x1", "\xc0\xc1", "\xe0\xe1",
                                                 "\xd0\x9a\xd0\xbe", "\xd0\xba\xd0\xbe", "zz", "Zz",
                                                 // longer runs that share their first dozen bytes
                                                 "abcdefghijklmnop", "abcdefghijklmnoq", "abcdefghijklmnopq",
                                                 "abcdefghijklm", "ABCDEFGHIJKLMNOP"};
    const std::vector<std::string> gaps = {" ", ", ", "\n", ".", "  "};
    WordSplitter splitter;
    std::vector<std::string> texts;
    std::vector<SplitResult> results;
    for (int i = 0; i < 2000; ++i) {
      std::string text;
      for (int n = static_cast<int>(rng() % 30); n > 0; --n) {
        // Now and then a run of thousands, so that the splitter's table grows.
        // Built by append: GCC 12 at -O3 warns wrongly (-Wrestrict) about
        // "literal" + std::to_string(...).
        text += rng() % 4 == 0 ? std::string("n").append(std::to_string(rng() % 5000))
                               : vocabulary[rng() % vocabulary.size()];
        text += gaps[rng() % gaps.size()];
      }
      texts.push_back(text);
      results.push_back(splitter.Split(text));
    }
    RunBook book;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(book.Expand(results[i].Get()), ModelWords(texts[i])) << codePage << " text " << i;
    }
  }
}

// Exhausted memory on either thread reaches the caller as an exception,
// whichever allocation it hits: the process is never ended, nothing hangs,
// and the sanitizer build checks that nothing leaks. A failed text fails
// the ones after it, whose run numbers could refer to it.
TEST(WordSplitterTest, ExhaustedMemoryAnywhereReachesTheCaller) {
  SetAnsiCodePage(65001);
  const std::string text = "a somewhat longer text with words enough to need the heap";
  bool completed = false;
  for (int after = 0; !completed; ++after) {
    std::vector<bool> failed;
    failed.reserve(8);  // so that only the splitter's allocations can fail
    {
      FailAllocation fail(after);
      try {
        WordSplitter splitter;
        auto first = splitter.Split(text);
        auto second = splitter.Split(text + " and more");
        for (auto* result : {&first, &second}) {
          try {
            EXPECT_FALSE(result->Get().runs.empty());
            failed.push_back(false);
          } catch (const std::bad_alloc&) {
            failed.push_back(true);
          } catch (const CMemoryException&) {
            failed.push_back(true);
          }
        }
      } catch (const std::bad_alloc&) {
        failed.push_back(true);
      }
      completed = !fail.Fired();
    }
    if (completed) {
      EXPECT_EQ(failed, (std::vector<bool>{false, false}));
    } else {
      EXPECT_TRUE(failed.back()) << "failing allocation " << after;
      if (failed.size() == 2 && failed[0]) {
        EXPECT_TRUE(failed[1]) << "failing allocation " << after;
      }
    }
  }
}

// Long texts among short ones, queued many at a time and then again after
// the queue was drained, give what the model gives, and run numbers stay
// in order across them.
TEST(WordSplitterTest, LongAndShortTextsQueuedOrDrainedMatchTheModel) {
  SetAnsiCodePage(65001);
  SetUserLowerCase(true);
  std::mt19937 rng(7);
  const auto randomText = [&rng](std::size_t bytes) {
    std::string text;
    while (text.size() < bytes) text.append(rng() % 3 == 0 ? "W" : "w").append(std::to_string(rng() % 3000)).append(" ");
    return text;
  };
  WordSplitter splitter;
  RunBook book;
  std::vector<std::string> texts;
  std::vector<SplitResult> results;
  for (int i = 0; i < 400; ++i) {
    texts.push_back(randomText(i % 25 == 0 ? (std::size_t{20} << 10) : 40 + rng() % 400));
    results.push_back(splitter.Split(texts.back()));
    // Now and then the queue is drained, and the splitter sleeps again.
    if (i % 50 == 49) {
      for (std::size_t n = 0; n < results.size(); ++n) {
        EXPECT_EQ(book.Expand(results[n].Get()), ModelWords(texts[n])) << "text " << i - results.size() + n + 1;
      }
      texts.clear();
      results.clear();
    }
  }
  SetUserLowerCase(false);
}

// Exhausted memory while many texts are queued throws from Split or fails
// a result; the texts given before it still come out whole, and a failed
// text fails the ones after it.
TEST(WordSplitterTest, ExhaustedMemoryWhileManyTextsAreQueuedReachesTheCaller) {
  SetAnsiCodePage(65001);
  const std::string text = "a somewhat longer text with words enough to need the heap";
  bool completed = false;
  for (int after = 0; !completed; ++after) {
    std::size_t given = 0;
    bool thrown = false;
    std::vector<bool> failed;
    failed.reserve(64);
    {
      WordSplitter splitter;
      std::vector<SplitResult> results;
      results.reserve(64);
      {
        FailAllocation fail(after);
        try {
          for (; given < 40; ++given) results.push_back(splitter.Split(text + " " + std::to_string(given)));
        } catch (const std::bad_alloc&) {
          thrown = true;
        }
        completed = !fail.Fired();
      }
      for (SplitResult& result : results) {
        try {
          EXPECT_EQ(result.Get().runs.size(), 12u);
          failed.push_back(false);
        } catch (const std::bad_alloc&) {
          failed.push_back(true);
        }
      }
    }
    EXPECT_EQ(failed.size(), given);
    // A failure on the splitter's side fails the rest too; one in Split
    // leaves the texts before it whole.
    for (std::size_t i = 1; i < failed.size(); ++i) EXPECT_TRUE(!failed[i - 1] || failed[i]) << after;
    if (completed) {
      EXPECT_FALSE(thrown);
    }
  }
}

}  // namespace

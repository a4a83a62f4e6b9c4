#include "index/word_splitter.h"

#include <gtest/gtest.h>

#include <future>
#include <new>
#include <string>
#include <vector>

#include "index/strong_hash.h"
#include "platform/framework/exceptions.h"
#include "tests/support/alloc_failure.h"

namespace {

std::vector<std::u16string> Texts(const std::vector<SplitWord>& words) {
  std::vector<std::u16string> texts;
  for (const SplitWord& word : words) {
    EXPECT_EQ(word.strong, StrongHash(word.text));
    texts.push_back(word.text);
  }
  return texts;
}

TEST(WordSplitterTest, ResultsComeInTheOrderTheTextsWereGiven) {
  WordSplitter splitter;
  std::vector<std::future<std::vector<SplitWord>>> results;
  for (int i = 0; i < 300; ++i) results.push_back(splitter.Split("word" + std::to_string(i) + " Tail"));
  for (int i = 0; i < 300; ++i) {
    const std::string number = "word" + std::to_string(i);
    EXPECT_EQ(Texts(results[i].get()),
              (std::vector<std::u16string>{std::u16string(number.begin(), number.end()), u"tail"}))
        << i;
  }
}

// Exhausted memory on either thread reaches the caller as an exception,
// whichever allocation it hits: the process is never ended, nothing hangs,
// and the sanitizer build checks that nothing leaks.
TEST(WordSplitterTest, ExhaustedMemoryAnywhereReachesTheCaller) {
  const std::string text = "a somewhat longer text with words enough to need the heap";
  bool completed = false;
  for (int after = 0; !completed; ++after) {
    int failures = 0;
    {
      FailAllocation fail(after);
      try {
        WordSplitter splitter;
        auto first = splitter.Split(text);
        auto second = splitter.Split(text);
        for (auto* result : {&first, &second}) {
          try {
            EXPECT_EQ(result->get().size(), 11u);
          } catch (const std::bad_alloc&) {
            ++failures;
          } catch (const CMemoryException&) {
            ++failures;
          }
        }
      } catch (const std::bad_alloc&) {
        ++failures;
      }
      completed = !fail.Fired();
    }
    EXPECT_EQ(failures, completed ? 0 : 1) << "failing allocation " << after;
  }
}

}  // namespace

// The folder listed on a thread of its own while the refresh loads the
// index: what it returns, what it reports meanwhile, and what becomes of a
// failure or of a listing nobody waits for.

#include "index/background_listing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "index/refresh_progress.h"
#include "tests/support/test_env.h"

namespace {

// Lists the given names as notes of any folder; then runs pause, if set,
// before the listing ends.
class FakeListingEnv : public TestEnv {
 public:
  std::vector<std::u16string> files;
  std::function<void()> pause;
  std::atomic<int> removals{0};

  bool ListFiles(const std::u16string& folder,
                 const std::function<bool(const std::u16string& name)>& wanted,
                 const std::function<void(NoteEntry entry)>& found) override {
    for (const std::u16string& name : files) {
      if (wanted(name)) found({name, folder + name, 1, 1704447000});
    }
    if (pause) pause();
    return true;
  }
  void RemoveStaleTempFiles(const std::u16string&) override { ++removals; }
};

class CountingProgress : public RefreshProgress {
 public:
  void Working(std::size_t done, std::size_t total) override {
    calls.emplace_back(done, total);
    if (onWorking) onWorking();
  }
  void Done() override {}
  std::vector<std::pair<std::size_t, std::size_t>> calls;
  std::function<void()> onWorking;
};

std::vector<std::u16string> Numbered(int count) {
  std::vector<std::u16string> names;
  for (int i = count - 1; i >= 0; --i) {
    const std::string number = std::to_string(1000 + i);
    names.push_back(std::u16string(number.begin(), number.end()) + u".txt");
  }
  return names;
}

// A listing slower than the load keeps the progress alive: the count
// found so far is reported again and again while the caller waits, never
// only at the end.
TEST(BackgroundListing, ReportsTheCountWhileTheCallerWaitsAndReturnsTheNotesInOrder) {
  FakeListingEnv env;
  env.files = Numbered(600);
  std::promise<void> heardTwice;
  std::atomic<bool> released{false};
  env.pause = [&] {
    released = heardTwice.get_future().wait_for(std::chrono::seconds(20)) ==
               std::future_status::ready;
  };
  CountingProgress progress;
  int heard = 0;
  progress.onWorking = [&] {
    if (progress.calls.back() == std::pair<std::size_t, std::size_t>{512, 0} && ++heard == 2) {
      heardTwice.set_value();
    }
  };
  const std::u16string folder = u"f/";
  BackgroundListing listing(env, folder, false);
  const std::vector<NoteEntry> notes = listing.Finish(progress);
  EXPECT_TRUE(released) << "the count was not reported while waiting";
  ASSERT_EQ(notes.size(), 600u);
  EXPECT_EQ(notes.front().name, u"1000.txt");
  EXPECT_EQ(notes.back().path, u"f/1599.txt");
}

// Exhausted memory on the listing thread reaches the caller, as it would
// had the caller listed the folder itself.
TEST(BackgroundListing, AFailureOfTheListingIsRethrownByFinish) {
  FakeListingEnv env;
  env.files = {u"a.txt", u"notes.ndx.~k1LLed"};
  env.pause = [] { throw std::bad_alloc(); };
  const std::u16string folder = u"f/";
  BackgroundListing listing(env, folder, true);
  CountingProgress progress;
  EXPECT_THROW(listing.Finish(progress), std::bad_alloc);
  EXPECT_EQ(env.removals, 0);
}

// Leftovers are removed only for a caller holding the lock, and only when
// the listing met one: the folder is not walked a second time for nothing.
TEST(BackgroundListing, RemovesLeftoversOnlyWhenAllowedAndMet) {
  const std::u16string folder = u"f/";
  CountingProgress progress;
  for (const bool allowed : {false, true}) {
    for (const bool met : {false, true}) {
      FakeListingEnv env;
      env.files = {u"a.txt", u"notes.ndx.bak"};
      if (met) env.files.push_back(u"notes.ndx.~k1LLed");
      BackgroundListing listing(env, folder, allowed);
      EXPECT_EQ(listing.Finish(progress).size(), 1u);
      EXPECT_EQ(env.removals, allowed && met ? 1 : 0) << allowed << met;
    }
  }
}

// A refresh whose load fails unwinds past the listing: it must not leave
// the thread running over the folder name and the Env it was given.
TEST(BackgroundListing, NotWaitedForItStillEndsBeforeItIsGone) {
  FakeListingEnv env;
  env.files = Numbered(10);
  std::atomic<bool> ended{false};
  env.pause = [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ended = true;
  };
  {
    const std::u16string folder = u"f/";
    BackgroundListing listing(env, folder, true);
  }
  EXPECT_TRUE(ended);
}

}  // namespace

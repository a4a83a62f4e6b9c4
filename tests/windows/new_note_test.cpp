// A new note on Windows: the folder chain is made level by level at either
// separator, and the note path continues the folder with the system's own.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/new_note.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace {

TEST(NewNote, CreatesEveryLevelAtBackslashesAndSlashes) {
  TempDir dir;
  TestEnv env;
  std::u16string base = dir.path().u16string();
  const std::u16string folder = base + u"\\Заметки\\2026/work";
  ASSERT_TRUE(CreateNewNote(env, folder, u"scriblet"));
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].notePath, folder + u"\\note-2024.01.05-09.30.00.txt");
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(env.launches[0].notePath)));

  // A folder that already ends in a separator gets none added.
  ASSERT_TRUE(CreateNewNote(env, base + u"\\", u"scriblet"));
  EXPECT_EQ(env.launches[1].notePath, base + u"\\note-2024.01.05-09.30.00.txt");
  EXPECT_TRUE(env.messages.empty());
}

}  // namespace

#include "app/new_note.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/os/editor.h"
#include "platform/text/file_names.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace fs = std::filesystem;

namespace {

// 2026-12-07 09:05:03 UTC.
constexpr std::int64_t kMorning = 1796634303;

TEST(NoteFileName, FormatsLocalTimeAndFallsBackOutsideTheCalendar) {
  EXPECT_EQ(NoteFileName(kMorning, 0), u"note-2026.12.07-09.05.03.txt");
  EXPECT_EQ(NoteFileName(kMorning, 0).size(), 28u);
  EXPECT_EQ(NoteFileName(kMorning, 3 * 3600), u"note-2026.12.07-12.05.03.txt");
  EXPECT_EQ(NoteFileName(kMorning, -10 * 3600), u"note-2026.12.06-23.05.03.txt");
  EXPECT_EQ(NoteFileName(0, 0), u"note-1970.01.01-00.00.00.txt");
  EXPECT_EQ(NoteFileName(-1, 0), u"Invalid DateTime");
  EXPECT_EQ(NoteFileName(32535215999, 0), u"note-3000.12.31-23.59.59.txt");
  EXPECT_EQ(NoteFileName(32535216000, 0), u"Invalid DateTime");
}

class NewNoteTest : public ::testing::Test {
 protected:
  void SetUp() override { env.now = kMorning; }
  std::u16string Folder(const std::string& sub) const {
    return FromNativeName((dir.path() / sub).string());
  }
  TempDir dir;
  TestEnv env;
};

TEST_F(NewNoteTest, CreatesMissingLevelsAndAnEmptyNoteAndStartsTheEditor) {
  const std::u16string folder = Folder("a/b/c");
  ASSERT_TRUE(CreateNewNote(env, folder, u"scriblet"));

  const fs::path note = dir.path() / "a/b/c/note-2026.12.07-09.05.03.txt";
  EXPECT_TRUE(fs::is_regular_file(note));
  EXPECT_EQ(fs::file_size(note), 0u);
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].notePath, FromNativeName(note.string()));
  EXPECT_EQ(env.launches[0].workingDir, folder);
  EXPECT_TRUE(env.messages.empty());
}

TEST_F(NewNoteTest, EditorThatCannotBeStartedIsReportedAndTheNoteKept) {
  env.editorStarts = false;
  EXPECT_FALSE(CreateNewNote(env, Folder("n"), u"scriblet"));
  const std::u16string note = Folder("n/note-2026.12.07-09.05.03.txt");
  EXPECT_TRUE(fs::is_regular_file(ToNativeName(note)));
  ASSERT_EQ(env.messages.size(), 1u);
  EXPECT_EQ(env.messages[0].caption, u"scriblet");
  EXPECT_EQ(env.messages[0].text, EditorNotStartedMessage(note));
}

TEST_F(NewNoteTest, ARelativeFolderGivesTheEditorTheNotesAbsolutePath) {
  const fs::path before = fs::current_path();
  fs::create_directory(dir.path() / "home");
  fs::current_path(dir.path() / "home");
  const std::u16string home = FromNativeName(fs::current_path().string());
  const bool created = CreateNewNote(env, u"../x/../notes", u"scriblet");
  fs::current_path(before);
  ASSERT_TRUE(created);

  // The editor runs in the notes folder: only an absolute path names the
  // note from there, with every level as typed.
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].notePath, home + u"/../x/../notes/note-2026.12.07-09.05.03.txt");
  EXPECT_EQ(env.launches[0].workingDir, u"../x/../notes");
  EXPECT_TRUE(fs::equivalent(ToNativeName(env.launches[0].notePath),
                             dir.path() / "notes/note-2026.12.07-09.05.03.txt"));
}

TEST_F(NewNoteTest, TrailingSlashGetsNoSecondOne) {
  ASSERT_TRUE(CreateNewNote(env, Folder("n") + u"/", u"scriblet"));
  ASSERT_EQ(env.launches.size(), 1u);
  EXPECT_EQ(env.launches[0].notePath, Folder("n/note-2026.12.07-09.05.03.txt"));
  EXPECT_EQ(env.launches[0].workingDir, Folder("n") + u"/");
}

TEST_F(NewNoteTest, SameSecondKeepsTheExistingNotesText) {
  ASSERT_TRUE(CreateNewNote(env, Folder("n"), u"scriblet"));
  const fs::path note = dir.path() / "n/note-2026.12.07-09.05.03.txt";
  std::ofstream(note) << "saved text";
  ASSERT_TRUE(CreateNewNote(env, Folder("n"), u"scriblet"));
  EXPECT_EQ(fs::file_size(note), 10u);
  EXPECT_EQ(env.launches.size(), 2u);
}

TEST_F(NewNoteTest, InvalidClockNamesTheNoteInvalidDateTime) {
  env.now = -5;
  ASSERT_TRUE(CreateNewNote(env, Folder("n"), u"scriblet"));
  EXPECT_TRUE(fs::is_regular_file(dir.path() / "n/Invalid DateTime"));
}

TEST_F(NewNoteTest, NoteThatCannotBeCreatedShowsTheMessageAndStartsNothing) {
  std::ofstream(dir.path() / "file") << "x";
  const std::u16string folder = Folder("file");
  EXPECT_FALSE(CreateNewNote(env, folder, u"scriblet"));
  EXPECT_TRUE(env.launches.empty());
  ASSERT_EQ(env.messages.size(), 1u);
  EXPECT_EQ(env.messages[0].caption, u"scriblet");
  EXPECT_EQ(env.messages[0].text,
            u"Ошибка создания файла " + folder + u"/note-2026.12.07-09.05.03.txt");
}

TEST_F(NewNoteTest, UnwritableFolderShowsTheMessage) {
  env.failOpenForWrite = true;  // also stands for a read-only folder when run as root
  EXPECT_FALSE(CreateNewNote(env, Folder("n"), u"scriblet"));
  EXPECT_TRUE(env.launches.empty());
  EXPECT_EQ(env.messages.size(), 1u);
  EXPECT_TRUE(fs::is_directory(dir.path() / "n"));
}

TEST_F(NewNoteTest, ReadOnlyFolderShowsTheMessage) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::create_directory(dir.path() / "ro");
  ::chmod((dir.path() / "ro").c_str(), 0555);
  EXPECT_FALSE(CreateNewNote(env, Folder("ro"), u"scriblet"));
  EXPECT_TRUE(env.launches.empty());
  EXPECT_EQ(env.messages.size(), 1u);
}

}  // namespace

#include "index/archive.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "index/map.h"
#include "index/refresh_progress.h"
#include "platform/text/code_page.h"
#include "platform/framework/exceptions.h"
#include "tests/support/archive_bytes.h"

namespace {

// A file held in memory.
class MemoryFile : public CFile {
 public:
  explicit MemoryFile(std::string content = {}) : bytes(std::move(content)) {}
  std::size_t Read(void* buf, std::size_t n) override {
    const std::size_t got = std::min(n, bytes.size() - pos);
    std::memcpy(buf, bytes.data() + pos, got);
    pos += got;
    return got;
  }
  void Write(const void* buf, std::size_t n) override {
    bytes.append(static_cast<const char*>(buf), n);
  }
  std::uint64_t GetLength() override { return bytes.size(); }
  void Flush() override {}
  void Close() override {}

  std::string bytes;
  std::size_t pos = 0;
};

std::string Stored(const std::function<void(CArchive&)>& write) {
  MemoryFile file;
  CArchive ar(file, CArchive::store);
  write(ar);
  ar.Close();
  return file.bytes;
}

// Loads one map from bytes, returning its pairs in walk order.
std::vector<std::pair<std::u16string, std::u16string>> Loaded(const std::string& bytes) {
  MemoryFile file(bytes);
  CArchive ar(file, CArchive::load);
  CMapStringToString map;
  map.Exchange(ar);
  std::vector<std::pair<std::u16string, std::u16string>> pairs;
  for (auto* e = map.FirstEntry(); e; e = map.NextEntry(e)) pairs.emplace_back(e->key, e->value);
  return pairs;
}

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

CArchiveException::Cause LoadFailure(const std::string& bytes) {
  try {
    Loaded(bytes);
  } catch (const CArchiveException& e) {
    return e.m_cause;
  }
  return CArchiveException::none;
}

TEST(ArchiveTest, LengthFormsAreTheShortestThatFit) {
  const std::string marker = Bytes({0xFF, 0xFE, 0xFF});
  const struct {
    std::size_t length;
    std::string prefix;
  } cases[] = {
      {0, Bytes({0x00})},
      {254, Bytes({0xFE})},
      {255, Bytes({0xFF, 0xFF, 0x00})},
      {300, Bytes({0xFF, 0x2C, 0x01})},
      {65533, Bytes({0xFF, 0xFD, 0xFF})},
      {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    std::u16string text(c.length, u'x');
    for (std::size_t i = 0; i < c.length; ++i) text[i] = static_cast<char16_t>(0x0400 + i % 97);
    const std::string bytes = Stored([&](CArchive& ar) { ar.WriteString(text); });
    ASSERT_EQ(bytes.size(), marker.size() + c.prefix.size() + 2 * c.length);
    EXPECT_EQ(bytes.substr(0, marker.size() + c.prefix.size()), marker + c.prefix);
    // Read back across the buffer's refills.
    MemoryFile file(bytes);
    CArchive ar(file, CArchive::load);
    EXPECT_EQ(ar.ReadString(), text);
  }
}

TEST(ArchiveTest, CountFormsSwitchAtFFFF) {
  EXPECT_EQ(Stored([](CArchive& ar) { ar.WriteCount(0); }), Bytes({0x00, 0x00}));
  EXPECT_EQ(Stored([](CArchive& ar) { ar.WriteCount(65534); }), Bytes({0xFE, 0xFF}));
  EXPECT_EQ(Stored([](CArchive& ar) { ar.WriteCount(65535); }),
            Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
  for (std::uint32_t count : {0u, 65534u, 65535u, 0xFFFFFFFFu}) {
    MemoryFile file(Stored([&](CArchive& ar) { ar.WriteCount(count); }));
    CArchive ar(file, CArchive::load);
    EXPECT_EQ(ar.ReadCount(), count);
  }
}

TEST(ArchiveTest, ReaderTakesEveryLengthFormAndEightBitStrings) {
  const std::string shortForms = Bytes({0x01, 0x00, 0xFF, 0xFE, 0xFF, 0x03, 't', 0, 'e', 0, 'a',
                                        0, 0xFF, 0xFE, 0xFF, 0x01, 'x', 0});
  ASSERT_EQ(Loaded(shortForms), (Pairs{{u"tea", u"x"}}));

  // Long count, 2- and 4-byte lengths after the marker.
  EXPECT_EQ(Loaded(Bytes({0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00,                             //
                          0xFF, 0xFE, 0xFF, 0xFF, 0x03, 0x00, 't', 0, 'e', 0, 'a', 0,  //
                          0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 'x', 0})),
            (Pairs{{u"tea", u"x"}}));
  // 8-bit strings: 1-byte length, 2-byte, 4-byte and 8-byte forms.
  EXPECT_EQ(Loaded(Bytes({0x02, 0x00,                                                  //
                          0x03, 't', 'e', 'a',                                         //
                          0xFF, 0x01, 0x00, 'x',                                       //
                          0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 'y',                        //
                          0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0,
                          0, 0, 'z'})),
            (Pairs{{u"y", u"z"}, {u"tea", u"x"}}));  // y: bucket 2, tea: 10
  // 8-bit text is in the ANSI code page.
  SetAnsiCodePage(1251);
  EXPECT_EQ(Loaded(Bytes({0x01, 0x00, 0x02, 0xF7, 0xE0, 0x00})), (Pairs{{u"ча", u""}}));
  SetAnsiCodePage(1252);
}

TEST(ArchiveTest, RepeatedKeyKeepsFirstPositionAndLaterValue) {
  // a and r share bucket 12; r is read in between.
  const std::string bytes = Bytes({0x03, 0x00, 0x01, 'a', 0x01, '1', 0x01, 'r', 0x01, '2',
                                   0x01, 'a', 0x01, '3'});
  EXPECT_EQ(Loaded(bytes), (Pairs{{u"r", u"2"}, {u"a", u"3"}}));
}

TEST(ArchiveTest, StringsEndAtTheirFirstNul) {
  EXPECT_EQ(Loaded(Bytes({0x01, 0x00, 0x03, 'a', 0, 'b', 0x02, 'c', 0})),
            (Pairs{{u"a", u"c"}}));
}

TEST(ArchiveTest, DamagedInputThrowsWithItsCause) {
  EXPECT_EQ(LoadFailure(""), CArchiveException::endOfFile);
  EXPECT_EQ(LoadFailure(Bytes({0x01})), CArchiveException::endOfFile);
  EXPECT_EQ(LoadFailure(Bytes({0x01, 0x00, 0x05, 'a', 'b'})), CArchiveException::endOfFile);
  // Lengths far past the end of the file: no allocation of their size.
  EXPECT_EQ(LoadFailure(Bytes({0x01, 0x00, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF,
                               0xFF, 'a', 0})),
            CArchiveException::endOfFile);
  EXPECT_EQ(LoadFailure(Bytes({0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                               0xFF, 0x7F, 0, 0, 0, 0})),
            CArchiveException::endOfFile);
  // An 8-byte length beyond 0x7FFFFFFF is no length at all.
  EXPECT_EQ(LoadFailure(Bytes({0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
                               0x00, 0x80, 0, 0, 0, 0})),
            CArchiveException::genericException);
}

// Several buffers' worth, written while earlier buffers are still being
// written: fields of every length form, odd sizes that leave a field or a
// code unit across a buffer's end, and one field longer than a buffer,
// given in pieces. Every byte must arrive, in order.
TEST(ArchiveTest, ManyBuffersArriveWholeAndInOrder) {
  std::vector<std::u16string> texts;
  for (std::size_t i = 0; i < 20000; ++i) {
    texts.emplace_back(i % 50 == 0 ? 300 + i % 7 : i % 13, static_cast<char16_t>(0x0400 + i % 251));
  }
  texts.emplace_back(CArchive::kBufferSize * 3 / 4 + 1, u'\x4E2D');
  std::string expected;
  const std::string stored = Stored([&](CArchive& ar) {
    for (const std::u16string& text : texts) {
      ar.WriteString(text);
      expected += Field(text);
    }
    ar.WriteCount(0x12345);
    expected += Bytes({0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00});
    std::u16string joined;
    for (int i = 0; i < 80000; ++i) joined += texts[static_cast<std::size_t>(i) % 997];
    ar.WriteStringLength(joined.size());
    for (std::size_t at = 0; at < joined.size(); at += 1 + at % 5) ar.WriteUnits(std::u16string_view(joined).substr(at, 1 + at % 5));
    expected += Field(joined);
  });
  ASSERT_GT(expected.size(), 3 * CArchive::kBufferSize);
  EXPECT_TRUE(stored == expected) << stored.size() << " bytes for " << expected.size();
}

// A file that takes `good` writes, fails the next one, and takes the rest.
class FailingFile : public MemoryFile {
 public:
  explicit FailingFile(int good) : good_(good) {}
  void Write(const void* buf, std::size_t n) override {
    if (good_-- == 0) throw CFileException(28);
    MemoryFile::Write(buf, n);
  }

 private:
  int good_;
};

// A write that fails on the writer's thread surfaces on the archive's, at
// a later store call or at Close, and nothing after it is written; an
// archive dropped without Close starts no further write.
TEST(ArchiveTest, FailedWritesSurfaceAndDroppedArchivesStop) {
  const std::u16string text(4096, u'a');
  for (int good = 0; good < 4; ++good) {
    SCOPED_TRACE(good);
    FailingFile file(good);
    int os = 0;
    try {
      CArchive ar(file, CArchive::store);
      for (int i = 0; i < 2000; ++i) ar.WriteString(text);  // 16 MB: many buffers
      ar.Close();
    } catch (const CFileException& e) {
      os = e.m_lOsError;
    }
    EXPECT_EQ(os, 28);
    EXPECT_EQ(file.bytes.size(), static_cast<std::size_t>(good) * CArchive::kBufferSize);
  }
  MemoryFile file;
  {
    CArchive ar(file, CArchive::store);
    for (int i = 0; i < 1000; ++i) ar.WriteString(text);
  }
  EXPECT_EQ(file.bytes.size() % CArchive::kBufferSize, 0u);
  EXPECT_LT(file.bytes.size(), 1000 * Field(text).size());
}

// A map section cut short keeps, before the failure, the pairs read in
// full, added in order, and the progress heard of each 1024th pair reached,
// wherever in a group of pairs the cut falls.
TEST(ArchiveTest, ATruncatedMapKeepsThePairsBeforeTheCut) {
  struct Recorder : RefreshProgress {
    void Working(std::size_t done, std::size_t) override { heard.push_back(done); }
    void Done() override {}
    std::vector<std::size_t> heard;
  };
  // Built by appending: operator+ on temporaries trips a false warning of
  // GCC 12 in Release builds.
  const auto key = [](std::uint32_t i) {
    std::u16string text(u"n");
    text.append(i % 7 + 1, u'x');
    text += static_cast<char16_t>(u'0' + i % 10);
    text += static_cast<char16_t>(0x0400 + i / 10);
    return text;
  };
  const auto value = [](std::uint32_t i) {
    std::u16string text(u"v");
    text += static_cast<char16_t>(u'a' + i % 26);
    return text;
  };
  for (const std::uint32_t cut : {0u, 5u, 32u, 1024u, 1050u}) {
    SCOPED_TRACE(cut);
    // Pair 3 repeats pair 1's key: it keeps its place and takes the value.
    const auto keyOf = [&](std::uint32_t i) { return key(i == 3 ? 1 : i); };
    const std::string bytes = Stored([&](CArchive& ar) {
      // The count says the cut pair is the last, so that the file is long
      // enough for it.
      ar.WriteCount(cut + 1);
      for (std::uint32_t i = 0; i < cut; ++i) {
        ar.WriteString(keyOf(i));
        ar.WriteString(value(i));
      }
      ar.WriteString(keyOf(cut));
    });
    MemoryFile file(bytes);
    CArchive ar(file, CArchive::load);
    CMapStringToString map;
    Recorder progress;
    EXPECT_THROW(map.Exchange(ar, &progress), CArchiveException);

    CMapStringToString expected;
    for (std::uint32_t i = 0; i < cut; ++i) expected[keyOf(i)] = value(i);
    Pairs got;
    for (auto* e = map.FirstEntry(); e; e = map.NextEntry(e)) got.emplace_back(e->key, e->value);
    Pairs want;
    for (auto* e = expected.FirstEntry(); e; e = expected.NextEntry(e)) want.emplace_back(e->key, e->value);
    EXPECT_EQ(got, want);
    const std::vector<std::size_t> heard = cut >= 1024 ? std::vector<std::size_t>{0, 1024} : std::vector<std::size_t>{0};
    EXPECT_EQ(progress.heard, heard);
  }
}

// A file that hands over at most `part` bytes a call, and throws once its
// reads reach byte failAt.
class ShakyFile : public MemoryFile {
 public:
  ShakyFile(std::string content, std::size_t part, std::size_t failAt = std::string::npos)
      : MemoryFile(std::move(content)), part_(part), failAt_(failAt) {}
  std::size_t Read(void* buf, std::size_t n) override {
    if (pos >= failAt_) throw CFileException(EIO);
    return MemoryFile::Read(buf, std::min({n, part_, failAt_ - pos}));
  }

 private:
  std::size_t part_;
  std::size_t failAt_;
};

// A file longer than a buffer, read in short pieces or whole: the numbers
// of a field cut by a buffer's end at any byte are read whole, and a failure
// of the file is thrown where its bytes are needed, not as the end of the
// file.
TEST(ArchiveTest, LoadJoinsFieldsCutByItsBuffersAndThrowsFailuresWhereMet) {
  const std::size_t buffer = CArchive::kLoadBufferSize;
  // An 8-bit string in the 8-byte length form: 15 bytes, then the characters.
  const auto field = [](std::size_t length, char c) {
    std::string out = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    for (int i = 0; i < 8; ++i) out += static_cast<char>(length >> 8 * i);
    return out + std::string(length, c);
  };
  for (std::size_t shift = 1; shift <= 16; ++shift) {
    SCOPED_TRACE(shift);
    // Short fields that begin `shift` bytes before the first and the second
    // buffer's end.
    const std::string bytes = field(buffer - shift - 15, 'a') + field(3, 'b') + field(buffer - 33, 'c') +
                              field(3, 'd') + Bytes({0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00});
    ShakyFile file(bytes, shift % 2 == 0 ? bytes.size() : buffer / 3);
    CArchive ar(file, CArchive::load);
    EXPECT_EQ(ar.ReadString().size(), buffer - shift - 15);
    EXPECT_EQ(ar.ReadString(), u"bbb");
    EXPECT_EQ(ar.ReadString().size(), buffer - 33);
    EXPECT_EQ(ar.ReadString(), u"ddd");
    EXPECT_EQ(ar.ReadCount(), 0x12345u);
    EXPECT_EQ(ar.BytesLeft(), 0u);
    EXPECT_THROW(ar.ReadCount(), CArchiveException);

    ShakyFile failing(bytes, bytes.size(), 2 * buffer - shift + 5);
    CArchive failingAr(failing, CArchive::load);
    for (int i = 0; i < 3; ++i) failingAr.ReadString();
    EXPECT_THROW(failingAr.ReadString(), CFileException);
  }
}

// Strings left where they were read stay as read while kept, however many
// buffers are read after them, ones longer than a buffer too; 8-bit ones
// and ones at odd offsets go to the text given instead.
TEST(ArchiveTest, StringsReadInPlaceStayWhileKept) {
  std::vector<std::u16string> texts;
  std::string bytes;
  for (std::size_t i = 0; i < 3000; ++i) {
    const std::size_t length = i % 500 + (i % 1000 == 999 ? CArchive::kLoadBufferSize : 0);
    if (i % 7 == 3) {
      texts.emplace_back(i % 200, static_cast<char16_t>(u'a' + i % 26));
      bytes += Bytes({0xFF, static_cast<int>(i % 200), 0x00}) + std::string(i % 200, static_cast<char>('a' + i % 26));
    } else {
      texts.emplace_back(length, static_cast<char16_t>(0x0400 + i % 251));
      bytes += Field(texts.back());
    }
  }
  MemoryFile file(bytes);
  CArchive ar(file, CArchive::load);
  std::vector<CArchive::Block> keeps;
  std::vector<std::u16string> copies(texts.size());
  std::vector<std::u16string_view> read;
  std::size_t inPlace = 0;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::u16string_view view = ar.ReadStringInPlace(copies[i], keeps);
    if (view.data() != nullptr) ++inPlace;
    read.push_back(view.data() != nullptr ? view : std::u16string_view(copies[i]));
    if (i % 7 == 3) {
      EXPECT_EQ(view.data(), nullptr) << i;
    }
    if (texts[i].size() > CArchive::kLoadBufferSize) {
      EXPECT_NE(view.data(), nullptr) << i;
    }
  }
  EXPECT_GT(inPlace, texts.size() / 3);
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_TRUE(read[i] == texts[i]) << i;
}

// UTF-16 strings stay in place wherever a buffer's end cuts them, at odd
// offsets and longer than a buffer too, however the file hands its bytes
// over; one that the file's end cuts throws the end of the file.
TEST(ArchiveTest, StringsCutByABufferEndAreGatheredInPlace) {
  const std::size_t most = (CArchive::kLoadBufferSize - 16) / 2;  // units a buffer holds after its headroom
  std::vector<std::u16string> texts;
  std::string bytes;
  for (std::size_t i = 0; i < 40; ++i) {
    const std::size_t length = i % 4 == 0 ? most - i : i % 4 == 1 ? 1 + 97 * i : i % 8 == 2 ? 5000 * i + 1 : most + 1;
    texts.emplace_back(length, static_cast<char16_t>(0x0400 + i));
    texts.back().back() = static_cast<char16_t>(i);  // the last unit tells a string's end from the next one's
    bytes += Field(texts.back());
    if (i % 9 == 4) bytes += Bytes({0x01, 'x'});  // an 8-bit string: what follows lies at odd offsets
  }
  for (const std::size_t part : {bytes.size(), std::size_t{4099}, std::size_t{77}}) {
    SCOPED_TRACE(part);
    ShakyFile file(bytes, part);
    CArchive ar(file, CArchive::load);
    std::vector<CArchive::Block> keeps;
    std::vector<std::u16string_view> read;
    std::u16string text;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const std::u16string_view view = ar.ReadStringInPlace(text, keeps);
      // A string at an odd offset that its buffer holds whole is copied.
      if (view.data() == nullptr) {
        EXPECT_EQ(std::u16string_view(text), texts[i]) << i;
        text.clear();
      } else {
        read.push_back(view);
        EXPECT_TRUE(view == texts[i]) << i;
      }
      if (i % 9 == 4) {
        EXPECT_EQ(ar.ReadString(), u"x");
      }
    }
    EXPECT_GT(read.size(), texts.size() * 3 / 4);
    EXPECT_EQ(ar.BytesLeft(), 0u);
  }
  // Cut within a string longer than what is left of the first buffer, or
  // than a buffer.
  for (const std::size_t length : {most, 3 * most}) {
    const std::string cut =
        Field(std::u16string(100, u'a')) + Field(std::u16string(length, u'b')).substr(0, 2 * length - 1);
    for (const std::size_t part : {cut.size(), std::size_t{1000}}) {
      SCOPED_TRACE(std::to_string(length) + " " + std::to_string(part));
      ShakyFile file(cut, part);
      CArchive ar(file, CArchive::load);
      std::vector<CArchive::Block> keeps;
      std::u16string text;
      EXPECT_EQ(ar.ReadStringInPlace(text, keeps), std::u16string(100, u'a'));
      try {
        ar.ReadStringInPlace(text, keeps);
        ADD_FAILURE() << "no end of file";
      } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
      }
    }
  }
}

}  // namespace

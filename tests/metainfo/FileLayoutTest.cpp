#include "metainfo/FileLayout.h"

#include <gtest/gtest.h>

#include <vector>

#include "MetainfoTestUtil.h"

namespace {

struct TFileSpec {
  int64_t Length;
  bool Pad = false;
};

TFileLayout LayoutOf(const std::vector<TFileSpec>& files, int64_t pieceLength) {
  TFileLayout layout;
  layout.SetPieceLength(pieceLength);
  for (size_t i = 0; i < files.size(); ++i) {
    auto file = std::make_unique<TTorrentSubFile>("f" + std::to_string(i), "", files[i].Length, -1);
    file->Pad = files[i].Pad;
    layout.Append(std::move(file));
  }
  return layout;
}

}  // namespace

// Offsets run end to end, and each file's pieces are those its bytes touch:
// a file of no data touches none, wherever it stands.
TEST(FileLayout, OffsetsAndPieceRanges) {
  struct TCase {
    const char* Name;
    std::vector<TFileSpec> Files;
    int64_t PieceLength;
    std::vector<int64_t> Offsets;
    std::vector<TPieceRange> Ranges;
    int64_t PieceCount;
  };
  const TCase cases[] = {
      {.Name = "one file, short last piece",
       .Files = {{10}},
       .PieceLength = 4,
       .Offsets = {0},
       .Ranges = {{0, 2}},
       .PieceCount = 3},
      {.Name = "a piece shared by two files",
       .Files = {{6}, {3}},
       .PieceLength = 4,
       .Offsets = {0, 6},
       .Ranges = {{0, 1}, {1, 2}},
       .PieceCount = 3},
      {.Name = "file ends on a boundary, next starts on one",
       .Files = {{8}, {4}},
       .PieceLength = 4,
       .Offsets = {0, 8},
       .Ranges = {{0, 1}, {2, 2}},
       .PieceCount = 3},
      {.Name = "empty files at a boundary, first and last",
       .Files = {{0}, {4}, {0}, {4}, {0}},
       .PieceLength = 4,
       .Offsets = {0, 0, 4, 4, 8},
       .Ranges = {{0, -1}, {0, 0}, {1, 0}, {1, 1}, {2, 1}},
       .PieceCount = 2},
      {.Name = "pad files fill up to the next piece",
       .Files = {{5}, {3, true}, {2}, {6, true}, {9}},
       .PieceLength = 8,
       .Offsets = {0, 5, 8, 10, 16},
       .Ranges = {{0, 0}, {0, 0}, {1, 1}, {1, 1}, {2, 3}},
       .PieceCount = 4},
      {.Name = "no piece length: no pieces",
       .Files = {{5}},
       .PieceLength = 0,
       .Offsets = {0},
       .Ranges = {{0, -1}},
       .PieceCount = 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TFileLayout layout = LayoutOf(c.Files, c.PieceLength);
    ASSERT_EQ(layout.size(), c.Files.size());
    int64_t total = 0;
    for (size_t i = 0; i < layout.size(); ++i) {
      SCOPED_TRACE(i);
      const TFileSpan span = layout.Span(i);
      EXPECT_EQ(span.Offset, c.Offsets[i]);
      EXPECT_EQ(span.Length, c.Files[i].Length);
      EXPECT_EQ(span.Pad, c.Files[i].Pad);
      EXPECT_EQ(layout[i].Offset, c.Offsets[i]);
      EXPECT_EQ(layout.PiecesOf(i), c.Ranges[i]);
      EXPECT_EQ(layout.PiecesOf(i).empty(), c.Files[i].Length == 0 || c.PieceLength == 0);
      total += c.Files[i].Length;
    }
    EXPECT_EQ(layout.TotalLength(), total);
    EXPECT_EQ(layout.PieceCount(), c.PieceCount);
    EXPECT_FALSE(layout.Overflow());
  }
}

TEST(FileLayout, HostileLengthsWrapAndSaySo) {
  const TFileLayout layout = LayoutOf({{INT64_MAX}, {2}, {3}}, 16);
  EXPECT_TRUE(layout.Overflow());
  EXPECT_EQ(layout.PieceCount(), 0);
  // The file past the wrap has no place in the data: no pieces, no crash.
  EXPECT_TRUE(layout.PiecesOf(2).empty());
}

TEST(FileLayout, ARenameMovesNothing) {
  TFileLayout layout = LayoutOf({{3}, {4}}, 4);
  layout.Rename(1, "a/b/", "c");
  EXPECT_EQ(layout[1].Path, "a/b/");
  EXPECT_EQ(layout[1].Name, "c");
  EXPECT_EQ(layout.Span(1).Offset, 3);
  EXPECT_EQ(layout.PiecesOf(1), (TPieceRange{0, 1}));
  EXPECT_THROW(layout.Rename(2, "", "x"), std::out_of_range);
}

// The loader places the files of a torrent through the layout.
TEST(FileLayout, TheLoaderFillsIt) {
  using namespace Ben;
  const std::string info =
      Dict({{"files",
             List({Dict({{"length", Int(5)}, {"path", List({Str("a")})}}),
                   Dict({{"attr", Str("p")}, {"length", Int(3)}, {"path", List({Str(".pad"), Str("3")})}}),
                   Dict({{"length", Int(0)}, {"path", List({Str("empty")})}}),
                   Dict({{"length", Int(9)}, {"path", List({Str("b")})}})})},
            {"name", Str("top")},
            {"piece length", Int(8)},
            {"pieces", Str(FakeHash(1) + FakeHash(2) + FakeHash(3))}});
  auto [model, ok] = Load("d8:announce" + Str("http://t/a") + "4:info" + info + "e");
  ASSERT_TRUE(ok);
  EXPECT_TRUE(model->DamageLines().empty());
  const TFileLayout& layout = model->Layout();
  ASSERT_EQ(layout.size(), 4u);
  EXPECT_EQ(layout.PieceLength(), 8);
  EXPECT_EQ(layout.PieceCount(), 3);
  EXPECT_TRUE(layout.Span(1).Pad);
  EXPECT_EQ(layout.Span(3).Offset, 8);
  EXPECT_TRUE(layout.PiecesOf(2).empty());
  EXPECT_EQ(layout.PiecesOf(3), (TPieceRange{1, 2}));
  EXPECT_TRUE(layout.Files().begin() == model->Files.begin());  // one list, not a copy
}

// A file's name changes only through RenameFile, which keeps the model's
// record of what changed: its entries cannot be written from outside.
template <typename T>
concept EntriesWritable = requires(T& torrent) {
  torrent.Files[0]->Name = std::string();
};
template <typename T>
concept LayoutEntriesWritable = requires(T& torrent) {
  torrent.Layout().Files()[0]->Path = std::string();
};
template <typename T>
concept EntriesWritableInLoop = requires(T& torrent) {
  (*torrent.Files.begin())->Length = 0;
};
static_assert(!EntriesWritable<TTorrentFile> && !LayoutEntriesWritable<TTorrentFile> &&
              !EntriesWritableInLoop<TTorrentFile>);
// The check itself: a list of entries one owns can be written.
static_assert(requires(TTorrentSubFiles & files) { files[0]->Name = std::string(); });

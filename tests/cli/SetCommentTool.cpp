// Test helper: test_cli_set_comment IN OUT COMMENT loads IN, changes only its comment and
// saves the model to OUT, as the View/Edit page does.
#include <cstdio>
#include <exception>

#include "base/Stream.h"
#include "metainfo/TorrentFile.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s IN OUT COMMENT\n", argv[0]);
    return 2;
  }
  try {
    TTorrentFile torrent;
    {
      TFileStream in(argv[1], TFileMode::OpenRead);
      if (!torrent.LoadFromStream(in)) {
        for (const auto& error : torrent.Errors) std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
      }
    }
    torrent.SetComment(argv[3]);
    TSafeFileStream out(argv[2]);
    torrent.SaveToStream(out, torrent.Pieces);
    out.Commit();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}

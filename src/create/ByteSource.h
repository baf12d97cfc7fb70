#pragma once
// The input of the hashing engine: a list of byte sources, concatenated
// into one stream. A source is a range of a file, or zeros made in memory
// (padding, and stand-ins for data that is not there).

#include <cstdint>
#include <string>

struct TByteSource {
  std::string Path;    // for zeros only a name to show, never opened
  int64_t Offset = 0;  // where the range starts in the file
  int64_t Length = 0;
  bool Zeros = false;
  // The file's size as recorded, checked when it is opened and again once
  // it was read; -1: Offset + Length, a range that runs to the file's end.
  int64_t FileSize = -1;

  int64_t ExpectedFileSize() const { return FileSize >= 0 ? FileSize : Offset + Length; }

  // A whole file of the recorded length.
  static TByteSource File(std::string path, int64_t length) {
    return TByteSource{.Path = std::move(path), .Length = length};
  }
  static TByteSource ZeroBytes(int64_t length, std::string name = {}) {
    return TByteSource{.Path = std::move(name), .Length = length, .Zeros = true};
  }
};

#pragma once
// Piece hashing: the files of a torrent, in list order, read as one byte
// stream, cut into pieces of the piece length, each piece hashed with SHA-1.

#include <cstdint>
#include <string>
#include <vector>

#include "create/ByteSource.h"
#include "digest/Sha1Lanes.h"
#include "metainfo/TorrentFile.h"

class TProgress;

class THashedStorage {
 public:
  virtual ~THashedStorage();
  THashedStorage(const THashedStorage&) = delete;
  THashedStorage& operator=(const THashedStorage&) = delete;

  // The run. Ends normally, by abort (IsAborted) or at the first error; in
  // the last case Error says why and Pieces must not be used for a torrent.
  void HashPieces();

  std::string BasePath;  // the single file, or the folder of the files
  TSubFileList Files;    // not owned
  bool MultiFile = false;
  // When not empty, the stream to hash instead of Files' data (verify's
  // stand-in zeros); each source is reported as a file.
  std::vector<TByteSource> Sources;
  // Beside Sources, when given: the index each source is reported under
  // (its file's place in the torrent, -1 for none), else its place in the stream.
  std::vector<int64_t> SourceFiles;
  TTorrentPieces Pieces;
  int64_t PieceCount = 0;
  int64_t PieceLength = 0;
  // Empty unless the last run ended with an error: the file and the reason.
  std::string Error;
  // Worker threads that read and hash the pieces (0: one per core); the
  // operations below are still called on the thread that runs HashPieces.
  int Threads = 0;
  TShaPath Sha1Path = TSha1Lanes::ChosenPath();

 protected:
  // The subclass's constructor runs HashPieces itself when asked to, so that
  // the run sees its overrides.
  THashedStorage(TSubFileList files, std::string basePath, bool multiFile, int64_t pieceLength);

  // Once per file, after it is opened and before its first read; index is
  // the file's place in the stream, or its SourceFiles entry.
  virtual void DoFileStart(int64_t index, const std::string& path, int64_t size) = 0;
  // After each finished piece was appended to Pieces.
  virtual void DoPieceDone() = 0;
  // At the beginning of a run, and at its end however it ends.
  virtual void DoRunStart() = 0;
  virtual void DoRunDone() = 0;
  // Polled before each file and after each read.
  virtual bool IsAborted() = 0;
  // Before every read: lets pending events run.
  virtual void DoProcessEvents() {}
  // Now and then while the run waits for the workers: lets events run.
  virtual void DoIdle() {}
  // The file that ended the run with an error, before the error is reported:
  // DoFileStart may have named a later one by then.
  virtual void DoFileFailed(int64_t index, const std::string& path) {
    (void)index;
    (void)path;
  }

 private:
  std::string PathOf(const TTorrentSubFile& entry) const;
  std::vector<TByteSource> StreamSources() const;
  int64_t ReportedIndex(size_t source) const;
  void HashFiles();
};

// The storage of a creation run: reports to the progress window and stops
// when its abort flag is set.
class TQuorvaneBTHashedStorage : public THashedStorage {
 public:
  TQuorvaneBTHashedStorage(TSubFileList files, std::string basePath, bool multiFile, int64_t pieceLength,
                           TProgress& progress);

 protected:
  void DoFileStart(int64_t index, const std::string& path, int64_t size) override;
  void DoPieceDone() override;
  void DoRunStart() override;
  void DoRunDone() override;
  bool IsAborted() override;
  void DoProcessEvents() override;
  void DoIdle() override;
  void DoFileFailed(int64_t index, const std::string& path) override;

 private:
  TProgress& progress_;
};

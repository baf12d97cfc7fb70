#pragma once
// The transfer record made around each creation run. Creation only points it
// at the model being built; no behaviour depends on it.

#include <memory>
#include <string>
#include <vector>

#include "metainfo/Hashes.h"

class TTorrentFile;

// A tracker's announce state: a string list and a table, created and freed with it.
class TTrackerAnnounce {
 public:
  TTrackerAnnounce();
  ~TTrackerAnnounce();

  std::vector<std::string> Strings;
  std::unique_ptr<TObjectHash> Table;
};

// A peer of a transfer; creation makes none.
class TBTPeer {
 public:
  std::string Address;
  int Port = 0;
};

class TBTTransfer {
 public:
  explicit TBTTransfer(std::string text);
  virtual ~TBTTransfer();
  TBTTransfer(const TBTTransfer&) = delete;
  TBTTransfer& operator=(const TBTTransfer&) = delete;

  virtual void Notify(int what) = 0;
  virtual void Run() = 0;

  std::string Text;
  TTorrentFile* Torrent = nullptr;  // not owned
  std::unique_ptr<TTrackerAnnounce> Announce;
  std::vector<TBTPeer> Peers;
  int Value = 0;
  std::string Text2;
};

class TQuorvaneBTTransfer : public TBTTransfer {
 public:
  explicit TQuorvaneBTTransfer(std::string text);

  void Notify(int what) override;
  // Never called during creation.
  void Run() override;
};

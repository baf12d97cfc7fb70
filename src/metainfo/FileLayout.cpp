#include "metainfo/FileLayout.h"

void TFileLayout::Append(std::unique_ptr<TTorrentSubFile> file, bool pieceAligned) {
  // v2 piece space starts every non-empty file on a piece boundary; v1 puts
  // each file right after the one before.
  if (pieceAligned && file->Length > 0 && pieceLength_ > 0 && !overflow_ && total_ % pieceLength_ != 0) {
    const int64_t gap = pieceLength_ - total_ % pieceLength_;
    if (__builtin_add_overflow(total_, gap, &total_)) overflow_ = true;
  }
  file->Offset = total_;
  if (__builtin_add_overflow(total_, file->Length, &total_)) {
    total_ = static_cast<int64_t>(static_cast<uint64_t>(total_) + static_cast<uint64_t>(file->Length));
    overflow_ = true;
  }
  files_.push_back(std::move(file));
}

void TFileLayout::Rename(size_t i, std::string folder, std::string name) {
  files_.at(i)->Path = std::move(folder);
  files_[i]->Name = std::move(name);
}

void TFileLayout::Clear() {
  files_.clear();
  total_ = 0;
  overflow_ = false;
}

int64_t TFileLayout::PieceCount() const {
  if (pieceLength_ <= 0 || total_ <= 0 || overflow_) return 0;
  return total_ / pieceLength_ + (total_ % pieceLength_ != 0 ? 1 : 0);
}

TPieceRange TFileLayout::PiecesOf(size_t i) const {
  const TTorrentSubFile& file = *files_[i];
  if (pieceLength_ <= 0 || file.Offset < 0 || file.Length < 0) return {};
  const int64_t first = file.Offset / pieceLength_;
  if (file.Length == 0) return {first, first - 1};
  int64_t end;
  if (__builtin_add_overflow(file.Offset, file.Length, &end)) return {};
  return {first, (end - 1) / pieceLength_};
}

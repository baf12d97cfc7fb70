// libFuzzer harness for the HTTP response reader: the input is one response,
// fed in pieces whose sizes come from its first bytes, then the connection
// closes. Whatever arrives, the reader must end in a defined state without
// reading out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/HttpResponse.h"

namespace {

struct TChecker : THttpResponse::TListener {
  size_t Body = 0;
  bool Ended = false;
  void DocData(const char* data, size_t length) override {
    // Touch every byte so the sanitizers see a read past the piece.
    volatile char sink = 0;
    for (size_t i = 0; i < length; ++i) sink = sink ^ data[i];
    Body += length;
  }
  void DocEnd() override {
    if (Ended) std::abort();  // one end per document
    Ended = true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool head = data[0] & 1;
  const size_t step = 1 + data[1];  // piece size: 1..256 bytes
  data += 2;
  size -= 2;
  TChecker checker;
  THttpResponse response(&checker);
  response.Begin(head);
  for (size_t from = 0; from < size; from += step) {
    // A copy of its own per piece: a read past it is caught.
    const std::string piece(reinterpret_cast<const char*>(data) + from, std::min(step, size - from));
    response.Feed(piece);
  }
  const THttpResponse::TPhase phase = response.Phase();
  if ((phase == THttpResponse::TPhase::Failed) == response.Error().empty()) std::abort();
  if (checker.Body > size + 2) std::abort();  // "<HTML>" may add one line end
  if (checker.Ended && phase != THttpResponse::TPhase::Done) std::abort();
  response.ConnectionClosed();
  return 0;
}

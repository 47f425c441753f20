// The answer path of an ISP exchange: the frame receiver fed the reads as
// they come, then the answer taken apart into words as sendISPCmd does.
#include "chunks.h"
#include "isp/exchange.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Exact-size buffers, so that one byte past their end is a report.
  std::vector<unsigned char> frame(ISP_RECEIVE_BUFFER);
  IspReceiver receiver;
  ispReceiverStart(&receiver);
  fuzz::forEachRead(data, size, [&](const uint8_t *bytes, size_t length) {
    ispReceiverFeed(&receiver, frame.data(), bytes, length);
  });
  if (receiver.overflow || !receiver.complete)
    return 0;
  // A complete frame is "=G", a body and its CR.
  fuzz::require(receiver.i >= 3 && receiver.i <= ISP_RECEIVE_BUFFER &&
                frame[receiver.i - 1] == ISP_FRAME_END);
  std::vector<IspWord> response(ISP_MAX_WORDS);
  takeAnswerApart(frame.data(), receiver.i, response.data());
  checksumOK(response.data());
  return 0;
}

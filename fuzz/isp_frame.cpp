// The answer path of an ISP exchange: the frame receiver fed the reads as
// they come, then the answer taken apart into words as sendISPCmd does.
#include "chunks.h"
#include "isp/exchange.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Exact-size buffers, so that one byte past their end is a report.
  std::unique_ptr<unsigned char[]> frame(new unsigned char[ISP_RECEIVE_BUFFER]);
  IspReceiver receiver;
  ispReceiverStart(&receiver);
  fuzz::forEachRead(data, size, [&](const uint8_t *bytes, size_t length) {
    ispReceiverFeed(&receiver, frame.get(), bytes, static_cast<DWORD>(length));
  });
  if (receiver.overflow || !receiver.complete)
    return 0;
  if (receiver.i < 3 || receiver.i > ISP_RECEIVE_BUFFER ||
      frame[receiver.i - 1] != ISP_FRAME_END)
    __builtin_trap(); // a complete frame is "=G", a body and its CR
  std::unique_ptr<IspWord[]> response(new IspWord[ISP_MAX_WORDS]());
  takeAnswerApart(frame.get(), receiver.i, response.get());
  checksumOK(response.get());
  return 0;
}

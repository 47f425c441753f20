// The FPGA job's reader of the card's requests: blocks within the 16-bit
// count, and every verdict names a byte the stream held.
#include "channel/fpga.h"
#include "chunks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FpgaRequests requests;
  fpgaRequestsStart(&requests);
  for (size_t k = 0; k < size; ++k) {
    const FpgaEvent event = fpgaRequestsFeed(&requests, data[k]);
    fuzz::require(event != FPGA_SEND_BLOCK || requests.count <= 0xFFFF);
    fuzz::require((event != FPGA_MALFORMED && event != FPGA_DONE) || requests.byte == data[k]);
    const int state = static_cast<int>(requests.state);
    fuzz::require(state >= 0 && state <= static_cast<int>(FpgaRequestsState::WAITING_FOR_VERDICT));
  }
  return 0;
}

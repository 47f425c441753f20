// The FPGA job's reader of the card's requests: any byte stream gives blocks
// no larger than the 16-bit count allows, and every verdict names a byte the
// stream held.
#include "channel/fpga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FpgaRequests requests;
  fpgaRequestsStart(&requests);
  for (size_t k = 0; k < size; ++k) {
    switch (fpgaRequestsFeed(&requests, data[k])) {
    case FPGA_SEND_BLOCK:
      if (requests.count > 0xFFFF)
        __builtin_trap();
      break;
    case FPGA_MALFORMED:
    case FPGA_DONE:
      if (requests.byte != data[k])
        __builtin_trap();
      break;
    default:
      break;
    }
    if (requests.state < 0 || requests.state > 4)
      __builtin_trap();
  }
  return 0;
}

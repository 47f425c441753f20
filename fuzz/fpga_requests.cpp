// The FPGA job's reader of the card's requests: "*" for one byte, "$$" and
// a 16-bit count for a block, "~" and the verdict. Any byte stream gives
// requests no larger than the count field allows, and every event names a
// byte that the stream held.
#include "channel/fpga.h"

#include <cstddef>
#include <cstdint>

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

// Stuffing and un-stuffing: any message comes back unchanged, no marker
// inside the frame, and un-stuffing any body stays inside its buffers.
#include "chunks.h"
#include "isp/codec.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const int length = static_cast<int>(std::min<size_t>(size, 4096));
  // Any body the card may send, un-stuffed into a buffer of its own size.
  std::vector<unsigned char> decoded(length + 1), frame(2 * length + 4);
  fuzz::require(yDecode(decoded.data(), data, length) <= length);
  const int n = yEncode(frame.data(), data, length);
  fuzz::require(n >= length + 3 && n <= 2 * length + 3 && frame[0] == ISP_FRAME_START &&
                frame[1] == ISP_FRAME_START2 && frame[n - 1] == ISP_FRAME_END);
  for (int k = 2; k < n - 1; ++k)
    fuzz::require(frame[k] != ISP_FRAME_END &&
                  (frame[k] != ISP_FRAME_START2 || frame[k - 1] != ISP_FRAME_START));
  fuzz::require(yDecode(decoded.data(), frame.data() + 2, n - 3) == length &&
                std::memcmp(decoded.data(), data, length) == 0);
  return 0;
}

// Stuffing and un-stuffing: any message bytes come back unchanged, the
// frame never holds a marker inside, and un-stuffing any body (bytes from
// the card) stays inside its buffers.
#include "isp/codec.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const int length = static_cast<int>(size < 4096 ? size : 4096);
  // Any body the card may send, un-stuffed into a buffer of its own size.
  std::unique_ptr<unsigned char[]> decoded(new unsigned char[length + 1]);
  if (yDecode(decoded.get(), data, length) > length)
    __builtin_trap();

  std::unique_ptr<unsigned char[]> frame(new unsigned char[2 * length + 4]);
  const int n = yEncode(frame.get(), data, length);
  if (n < length + 3 || n > 2 * length + 3 || frame[0] != ISP_FRAME_START ||
      frame[1] != ISP_FRAME_START2 || frame[n - 1] != ISP_FRAME_END)
    __builtin_trap();
  for (int k = 2; k < n - 1; ++k)
    if (frame[k] == ISP_FRAME_END ||
        (frame[k] == ISP_FRAME_START2 && frame[k - 1] == ISP_FRAME_START))
      __builtin_trap();
  const int m = yDecode(decoded.get(), frame.get() + 2, n - 3);
  if (m != length || std::memcmp(decoded.get(), data, length) != 0)
    __builtin_trap();
  return 0;
}

#include "channel/fpga.h"

namespace {
enum {
  IDLE,
  DOLLAR,      // "$" seen
  BLOCK_COUNT, // "$$" seen, waiting for the count's high byte
  BLOCK_LOW,   // high byte seen
  TILDE        // "~" seen
};
const int PROGRESS_LINES = 5000;
const double PERCENT_SHOWN_HIGH = 0.2;
const float PERCENT_CAP = 100.0f;
} // namespace

void fpgaRequestsStart(FpgaRequests *r) {
  r->state = IDLE;
  r->count = 0;
  r->byte = 0;
}

FpgaEvent fpgaRequestsFeed(FpgaRequests *r, BYTE b) {
  switch (r->state) {
  case DOLLAR:
    r->state = IDLE;
    if (b == FPGA_BLOCK_REQUEST) {
      r->state = BLOCK_COUNT;
      return FPGA_NOTHING;
    }
    r->byte = b;
    return FPGA_MALFORMED;
  case BLOCK_COUNT:
    r->count = static_cast<unsigned>(b) << 8;
    r->state = BLOCK_LOW;
    return FPGA_NOTHING;
  case BLOCK_LOW:
    r->count |= b;
    r->state = IDLE;
    return FPGA_SEND_BLOCK;
  case TILDE:
    r->byte = b;
    r->state = IDLE;
    return FPGA_DONE;
  default:
    if (b == FPGA_BYTE_REQUEST)
      return FPGA_SEND_BYTE;
    if (b == FPGA_BLOCK_REQUEST)
      r->state = DOLLAR;
    else if (b == FPGA_END)
      r->state = TILDE;
    return FPGA_NOTHING;
  }
}

float fpgaPercent(unsigned size, long totalSize) {
  if (totalSize <= 0)
    return PERCENT_CAP;
  const double share = static_cast<double>(size) / static_cast<double>(totalSize);
  float percent = static_cast<float>(share * 100 + PERCENT_SHOWN_HIGH);
  return percent > PERCENT_CAP ? PERCENT_CAP : percent;
}

bool fpgaProgressDue(long totalSize, int time, unsigned size) {
  return static_cast<unsigned long>(totalSize / PROGRESS_LINES) *
             static_cast<unsigned long>(time) <
         size;
}

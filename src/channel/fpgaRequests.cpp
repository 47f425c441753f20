#include "channel/fpga.h"

namespace {
const int PROGRESS_LINES = 5000;
const double PERCENT_SHOWN_HIGH = 0.2;
const float PERCENT_CAP = 100.0f;
} // namespace

void fpgaRequestsStart(FpgaRequests *r) {
  r->state = FpgaRequestsState::WAITING_FOR_REQUEST;
  r->count = 0;
  r->byte = 0;
}

FpgaEvent fpgaRequestsFeed(FpgaRequests *r, BYTE b) {
  switch (r->state) {
  case FpgaRequestsState::WAITING_FOR_BLOCK:
    r->state = FpgaRequestsState::WAITING_FOR_REQUEST;
    if (b == FPGA_BLOCK_REQUEST) {
      r->state = FpgaRequestsState::WAITING_FOR_COUNT_HIGH;
      return FPGA_NOTHING;
    }
    r->byte = b;
    return FPGA_MALFORMED;
  case FpgaRequestsState::WAITING_FOR_COUNT_HIGH:
    r->count = static_cast<unsigned>(b) << 8;
    r->state = FpgaRequestsState::WAITING_FOR_COUNT_LOW;
    return FPGA_NOTHING;
  case FpgaRequestsState::WAITING_FOR_COUNT_LOW:
    r->count |= b;
    r->state = FpgaRequestsState::WAITING_FOR_REQUEST;
    return FPGA_SEND_BLOCK;
  case FpgaRequestsState::WAITING_FOR_VERDICT:
    r->byte = b;
    r->state = FpgaRequestsState::WAITING_FOR_REQUEST;
    return FPGA_DONE;
  case FpgaRequestsState::WAITING_FOR_REQUEST:
    break;
  }
  if (b == FPGA_BYTE_REQUEST)
    return FPGA_SEND_BYTE;
  if (b == FPGA_BLOCK_REQUEST)
    r->state = FpgaRequestsState::WAITING_FOR_BLOCK;
  else if (b == FPGA_END)
    r->state = FpgaRequestsState::WAITING_FOR_VERDICT;
  return FPGA_NOTHING;
}

float fpgaPercent(unsigned size, long totalSize) {
  if (totalSize <= 0)
    return PERCENT_CAP;
  const double share = static_cast<double>(size) / static_cast<double>(totalSize);
  float percent = static_cast<float>(share * 100 + PERCENT_SHOWN_HIGH);
  return percent > PERCENT_CAP ? PERCENT_CAP : percent;
}

bool fpgaProgressDue(long totalSize, int progressLines, unsigned size) {
  return static_cast<unsigned long>(totalSize / PROGRESS_LINES) *
             static_cast<unsigned long>(progressLines) <
         size;
}

// The FPGA job's side of the card's request protocol. After "#FPGA 1\r"
// the card drives the transfer of the XSVF file:
//   "*"                   send the next byte of the file
//   "$", "$", hi, lo      send the next hi * 256 + lo bytes
//   "$", other            malformed request (reported, nothing sent)
//   "~", "S"              end of transfer, success
//   "~", other            end of transfer, failure
// Any other byte is ignored.
#pragma once

#include "platform/platform.h"

const BYTE FPGA_BYTE_REQUEST = '*';
const BYTE FPGA_BLOCK_REQUEST = '$';
const BYTE FPGA_END = '~';
const BYTE FPGA_SUCCESS = 'S';

enum FpgaEvent {
  FPGA_NOTHING, // no complete request yet
  FPGA_SEND_BYTE,
  FPGA_SEND_BLOCK, // `count` bytes
  FPGA_MALFORMED,  // `byte` followed the "$"
  FPGA_DONE,       // `byte` followed the "~"
};

enum class FpgaRequestsState {
  WAITING_FOR_REQUEST,    // idle: "*", "$" or "~"
  WAITING_FOR_BLOCK,      // "$" seen: for the second "$"
  WAITING_FOR_COUNT_HIGH, // "$$" seen: for the count's high byte
  WAITING_FOR_COUNT_LOW,  // "$$hi" seen: for its low byte
  WAITING_FOR_VERDICT,    // "~" seen: for "S" or another byte
};

struct FpgaRequests {
  FpgaRequestsState state;
  unsigned count;
  BYTE byte;
};

void fpgaRequestsStart(FpgaRequests *r);
// One byte from the card. The event's details are left in `r`.
FpgaEvent fpgaRequestsFeed(FpgaRequests *r, BYTE b);

// The progress figure: the share sent, in percent, shown 0.2 high and
// capped at 100.
float fpgaPercent(unsigned size, long totalSize);
// Whether a progress line is due: about 5000 over the whole file.
bool fpgaProgressDue(long totalSize, int progressLines, unsigned size);

// The FPGA job: streams an XSVF file to the card as it asks for it. 0, -1,
// or JOB_REFUSED for a file that does not open.
int runFpgaJob(const char *fileName);

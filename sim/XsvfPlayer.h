// The firmware's FPGA programming: after "#FPGA 1" it plays the XSVF stream
// that the host serves on request, as an XSVF player does.
//
// The player asks for each instruction's opcode with "*" and for its
// arguments in the order it needs them: a single byte with "*", longer
// fields with a block request "$", "$", count high, count low, at most
// BLOCK_LIMIT bytes per request (the host's chunk buffer); the NUL-ended
// text of XCOMMENT is asked for byte by byte. It knows the Xilinx
// instructions 0x00-0x17 (0x05 and 0x06 are unassigned) and the extensions
// 0x18-0x1C that SVF converters emit (XWAITSTATE, LCOUNT, LDELAY, LSDR,
// XTRST). It answers "~S" at XCOMPLETE and "~E" for a malformed stream (an
// unknown or unassigned opcode, an out-of-range field, a garbled byte).
// The JTAG scans themselves are not carried out: the FPGA's side is taken
// as always matching.
//
// Record: fpga.bin (every stream byte received), fpga_result (programmed,
// failed or incomplete), fpga_bytes, fpga_instructions, fpga_requests.
//
// Faults: fpga-block-limit=N (block requests of up to N bytes instead of
// 1000), fpga-past-end=N (at XCOMPLETE ask for N more bytes, "*" for 0 or 1,
// instead of reporting), fpga-bad-request ("$x" once, before the first
// block request), upload-fail=FPGA ("~E" at XCOMPLETE),
// upload-silent-after=N (no request after the N-th).
#pragma once

#include "Faults.h"
#include "Outbox.h"
#include "Peer.h"

#include <string>
#include <vector>

namespace cardsim {

class XsvfPlayer : public Receiver {
public:
  static constexpr size_t BLOCK_LIMIT = 1000;
  static constexpr long MAX_SDR_BITS = 1L << 24; // larger sizes are malformed
  static const char *const FILE_NAME;

  XsvfPlayer(Outbox &outbox, const Faults &faults, Record &record);

  // Sends the first request; called once the firmware routes bytes here.
  void start();
  bool receive(Byte b, bool garbled) override;
  void finish(Record &record) override;

private:
  // What the bytes being collected are for.
  enum class Field {
    Opcode,
    Fixed,       // the fixed-size arguments of the current opcode
    SirLength,   // XSIR: 1 byte, XSIR2: 2 bytes of bit length
    SirBits,     // the IR bits
    CommentByte, // XCOMMENT text, up to its NUL
    IncStart,    // XSDRINC: start address, then the count byte
    IncData,     // XSDRINC: one data field of the remaining count
    PastEnd,     // the fpga-past-end fault's extra bytes
  };

  void ask(size_t count);
  void expect(Field field, size_t count);
  bool done(bool success, const std::string &why);
  bool opcode(Byte op);
  bool fieldComplete();
  bool fixedComplete();
  size_t sdrBytes() const { return static_cast<size_t>((sdrBits_ + 7) / 8); }
  size_t maskedDataBytes() const;

  Outbox &outbox_;
  const Faults &faults_;
  Record &record_;
  size_t blockLimit_;
  bool silent_ = false;

  Bytes stream_; // every byte received
  Field field_ = Field::Opcode;
  Byte op_ = 0;
  Bytes collected_;   // the current field so far
  size_t wanted_ = 0; // bytes of the current field
  size_t asked_ = 0;  // bytes of it already requested
  long sdrBits_ = 0;
  Bytes dataMask_;  // XSETSDRMASKS data mask
  int incLeft_ = 0; // XSDRINC data fields still to come
  long instructions_ = 0;
  long requests_ = 0;
  bool badRequestSent_ = false;
  std::string result_ = "incomplete";
  bool over_ = false;
  bool finished_ = false;
};

} // namespace cardsim

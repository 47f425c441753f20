// The firmware's acknowledged uploads: the EDID memory ("#EDID 1", "#EDID 2")
// and the gamma table ("#GAMMA 3 0").
//
// After the start command the firmware takes the timing profile's start
// time, dropping what comes before; then it takes the data one unit at a time (a
// byte for the EDID, a two-byte value for the gamma table) and answers each
// unit with "."; then it takes one sum byte, the plain 8-bit sum of the
// data, and answers "~S" when it matches or "~E" when it does not (or when
// a byte came garbled). The data goes to the record as a file of its own,
// with "<name>_result" = programmed, failed or incomplete.
//
// Faults: upload-fail=CMD ("~E" whatever the sum), upload-silent-after=N
// (nothing more is sent after N units), no-end=CMD (no "~" after the sum),
// no-verdict=CMD ("~" without "S" or "E"), ack-noise (junk with "~", "E" and
// "S" before each ".").
#pragma once

#include "Faults.h"
#include "Outbox.h"
#include "Peer.h"

#include <functional>
#include <string>

namespace cardsim {

struct AckedUploadFormat {
  std::string key;            // command key the faults name: "EDID", "GAMMA"
  std::string name;           // record prefix: "edid", "gamma"
  size_t unitSize;            // bytes acknowledged together
  size_t units;               // units before the sum byte
  std::string file;           // record file of the data
  Answer ackKind;             // what the card does before each "."
  std::optional<Start> start; // what the firmware does after the start command
  // Optional: writes further record files from the data when it ends.
  std::function<void(const Bytes &data, Record &record)> extraFiles;
};

class AckedUpload : public Receiver {
public:
  static const char ACK = '.';
  static const char END = '~';
  static const char SUCCESS = 'S';
  static const char FAILURE = 'E';
  // Junk sent before each "." under ack-noise: protocol letters that a
  // reader waiting for "." must throw away.
  static const char *const ACK_NOISE;

  AckedUpload(AckedUploadFormat format, Outbox &outbox, const Faults &faults, Record &record);

  bool receive(Byte b, bool garbled) override;
  void finish(Record &record) override;

private:
  void acknowledge();
  void verdict(Byte sum);
  bool silenced() const;

  AckedUploadFormat format_;
  Outbox &outbox_;
  const Faults &faults_;
  Record &record_;
  Bytes data_;
  Byte sum_ = 0;
  bool garbled_ = false;
  size_t unitsDone_ = 0;
  std::string result_ = "incomplete";
  bool finished_ = false;
  StartWindow starting_;
};

} // namespace cardsim

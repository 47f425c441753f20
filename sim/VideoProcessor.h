// The video processor (VXP) behind the micro.
//
// The firmware relays every ISP frame ("=G", stuffed body, CR) to it. For
// now it only records the frames: it answers nothing, so the updater's ISP
// exchanges time out. The ISP driver, the flash devices and the answers
// belong here; answers go out through the Outbox like every other answer.
#pragma once

#include "Faults.h"
#include "Outbox.h"
#include "Record.h"

namespace cardsim {

class VideoProcessor {
 public:
  // File of the record with one line per frame: its bytes in hex.
  static const char* const FRAMES_FILE;

  VideoProcessor(Outbox& outbox, const Faults& faults, Record& record);

  // A complete frame, from its "=G" to its CR inclusive.
  void frame(const Bytes& frame);
  void summarize(Record& record) const;

 private:
  // For the answers and the processor's own faults, which the stub has not.
  [[maybe_unused]] Outbox& outbox_;
  [[maybe_unused]] const Faults& faults_;
  Record& record_;
  long frames_ = 0;
};

}  // namespace cardsim

// The card's answers on their way to the line.
//
// Every part of the card answers through the Outbox, which applies the
// faults that act on all answers alike (delay, noise, split), gives each
// answer the time its kind takes under the timing profile (Timing), and logs
// each answer as "send <bytes>".
#pragma once

#include "Faults.h"
#include "Link.h"
#include "Record.h"
#include "Timing.h"

namespace cardsim {

class Outbox {
public:
  // Junk sent before each answer under the noise fault: no byte of it is a
  // protocol marker, so a reader that looks for "#" or "=" skips it.
  static const Bytes NOISE;
  // Pause between bytes under the split fault.
  static constexpr Millis SPLIT_GAP{3};

  Outbox(Transmitter &line, const Faults &faults, Record &record, Timing &timing);

  // An answer of `kind`, at `position` in its bulk transfer. Each returns
  // how long the answer is held back before its first byte leaves.
  Millis answer(const Bytes &bytes, Answer kind, BulkPosition position = {});
  Millis answer(const std::string &text, Answer kind) { return answer(toBytes(text), kind); }
  // An answer held back `extra` beyond the delay every answer gets.
  Millis answerAfter(const Bytes &bytes, Millis extra, Answer kind, BulkPosition position = {});
  // The time a part of the card takes to start under the timing profile.
  Millis startTime(Start kind) { return timing_.startTime(kind); }
  // When the line read the host's bytes that the card takes now.
  Clock::time_point readAt() const { return line_.readAt(); }
  // True while earlier answers have not all left for the host.
  bool sending() const { return line_.sending(); }

private:
  Transmitter &line_;
  Record &record_;
  Timing &timing_;
  Millis delay_;
  bool noise_;
  bool split_;
};

} // namespace cardsim

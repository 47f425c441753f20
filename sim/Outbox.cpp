#include "Outbox.h"

namespace cardsim {

const Bytes Outbox::NOISE = {0xFF, 'n', 0x11};

Outbox::Outbox(Transmitter& line, const Faults& faults, Record& record, Timing& timing)
    : line_(line),
      record_(record),
      timing_(timing),
      delay_(faults.number("delay").value_or(0)),
      noise_(faults.has("noise")),
      split_(faults.has("split")) {}

void Outbox::answer(const Bytes& bytes, Answer kind, BulkPosition position) {
  answerAfter(bytes, Millis{0}, kind, position);
}

void Outbox::answerAfter(const Bytes& bytes, Millis extra, Answer kind, BulkPosition position) {
  if (bytes.empty()) return;
  record_.event("send " + escape(bytes));
  Bytes wire;
  if (noise_) wire = NOISE;
  wire.insert(wire.end(), bytes.begin(), bytes.end());
  line_.transmit(wire, delay_ + extra + timing_.before(kind, position), split_ ? SPLIT_GAP : Millis{0});
}

}  // namespace cardsim

#include "Outbox.h"

namespace cardsim {

const Bytes Outbox::NOISE = {0xFF, 'n', 0x11};

Outbox::Outbox(Transmitter& line, const Faults& faults, Record& record)
    : line_(line),
      record_(record),
      delay_(faults.number("delay").value_or(0)),
      noise_(faults.has("noise")),
      split_(faults.has("split")) {}

void Outbox::answer(const Bytes& bytes) { answerAfter(bytes, Millis{0}); }

void Outbox::answerAfter(const Bytes& bytes, Millis extra) {
  if (bytes.empty()) return;
  record_.event("send " + escape(bytes));
  Bytes wire;
  if (noise_) wire = NOISE;
  wire.insert(wire.end(), bytes.begin(), bytes.end());
  line_.transmit(wire, delay_ + extra, split_ ? SPLIT_GAP : Millis{0});
}

}  // namespace cardsim

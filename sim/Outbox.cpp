#include "Outbox.h"

namespace cardsim {

const Bytes Outbox::NOISE = {0xFF, 'n', 0x11};

Outbox::Outbox(Transmitter &line, const Faults &faults, Record &record, Timing &timing)
    : line_(line), record_(record), timing_(timing), delay_(faults.number("delay").value_or(0)),
      noise_(faults.has("noise")), split_(faults.has("split")) {}

Millis Outbox::answer(const Bytes &bytes, Answer kind, BulkPosition position) {
  return answerAfter(bytes, Millis{0}, kind, position);
}

Millis Outbox::answerAfter(const Bytes &bytes, Millis extra, Answer kind, BulkPosition position) {
  if (bytes.empty())
    return Millis{0};
  record_.event("send " + escape(bytes));
  Bytes wire;
  if (noise_)
    wire = NOISE;
  wire.insert(wire.end(), bytes.begin(), bytes.end());
  const Millis held = delay_ + extra + timing_.before(kind, position);
  line_.transmit(wire, held, split_ ? SPLIT_GAP : Millis{0});
  return held;
}

} // namespace cardsim

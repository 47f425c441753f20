// A USB-serial adapter between the card and the host, as an FTDI chip
// carries bytes. The card's bytes wait in the chip until `packet` of them
// wait or `latency` has passed since the oldest of them arrived, then leave
// for the host together. The host's bytes leave for the card on the next
// 1 ms USB frame.
#pragma once

#include "Link.h"

#include <cstddef>

namespace cardsim {

class UsbAdapter {
public:
  using Clock = std::chrono::steady_clock;

  UsbAdapter(Millis latency, size_t packet);

  // The start of the first USB frame at or after `at`.
  static Clock::time_point nextFrame(Clock::time_point at);

  // A card byte reaches the chip at `arrival`: returns when the chip sends
  // it to the host. `joined` receives how many of the bytes given just
  // before it leave with it at that time (a full packet sends them earlier
  // than they were told).
  Clock::time_point hold(Clock::time_point arrival, Clock::time_point now, size_t *joined);

private:
  Clock::duration latency_;
  size_t packet_;
  size_t waiting_ = 0;
  Clock::time_point leaves_{}; // when the waiting bytes go
  Clock::time_point sent_{};   // when the last packet went
};

} // namespace cardsim

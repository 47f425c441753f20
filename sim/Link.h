// The two sides of the serial link as the card's parts see them.
#pragma once

#include "Bytes.h"

#include <chrono>
#include <cstddef>

namespace cardsim {

using Millis = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// How the line carries bytes. Unpaced, as fast as the pseudo-terminal moves
// them; paced, each byte takes its wire time (10 bits at the host's rate) in
// both directions, so a run lasts as long as on a real line. `cardTime` is
// the card's own time before each answer. With `adapterLatency` above 0 a
// USB-serial adapter sits between the card and the host (UsbAdapter).
struct Pacing {
  static constexpr size_t FTDI_PACKET = 62; // data bytes of a USB packet
  bool wire = false;
  std::chrono::nanoseconds cardTime{0};
  Millis adapterLatency{0};
  size_t adapterPacket = FTDI_PACKET;
};

// Where the card's outgoing bytes go.
class Transmitter {
public:
  virtual ~Transmitter() = default;
  // Queues `bytes` to leave `delay` from now, but never before anything
  // queued earlier; `gap` is the pause between two of these bytes.
  virtual void transmit(const Bytes &bytes, Millis delay, Millis gap) = 0;
  // True while bytes given to transmit() have not all left for the host.
  virtual bool sending() const { return false; }
  // When the line read the host's bytes that the card takes now: bytes
  // that came in one read share it.
  virtual Clock::time_point readAt() const { return Clock::now(); }
};

// What the line needs from the card behind it.
class LineClient {
public:
  virtual ~LineClient() = default;
  // The bit rate the card's UART runs at right now.
  virtual int cardRate() const = 0;
  // Bytes as the card's UART took them; `garbled` when the host sent them at
  // another bit rate, so their values are not what the host wrote.
  virtual void receive(const Bytes &bytes, bool garbled) = 0;
};

} // namespace cardsim

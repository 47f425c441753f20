// What the line carried and how the host paced it, written to measure.txt.
//
// Wire time: each byte is 10 bits (start, 8 data, stop) at the host's rate.
// At each new burst of bytes from the host the gap since its previous burst
// is judged:
//   - a protocol pause: the gap holds one of the fixed pauses the updater's
//     protocols use (PAUSES_MS), and that pause outlasted the card's answer
//     by enough (see hostBurst), so the host was waiting on its clock, not
//     on the card;
//   - an exchange: the card answered since the host's previous burst and had
//     finished: the host's turnaround is the time from the card's last byte
//     to the host's first byte of the next command;
//   - neither (the host wrote again without an answer in between): nothing.
// A pause's overrun (the gap beyond the pause and the answer) is kept apart:
// a slow host could otherwise hide inside a pause that happens to fit.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace cardsim {

class Measure {
public:
  using Clock = std::chrono::steady_clock;
  using Duration = std::chrono::nanoseconds;

  // The fixed pauses of the updater's protocols, in milliseconds.
  static const long PAUSES_MS[];

  static Duration byteTime(int rate);

  Measure(bool paced, Duration cardTime);

  // Bytes that crossed the wire at `rate`, host to card and card to host.
  void hostBytes(size_t count, int rate);
  void cardBytes(size_t count, int rate);
  // The host's bytes appeared on the line at `at`; `cardSending` while the
  // card's earlier bytes have not all left.
  void hostBurst(Clock::time_point at, bool cardSending);
  // The card's last queued byte left for the host at `at`; it was due at
  // `due` (the line's own lateness, an artefact of the simulation).
  void cardWritten(Clock::time_point at, Clock::time_point due);
  // The card took its processing time, and `delay` more (a device's time,
  // a timing profile's or a fault's lateness), before an answer: both are
  // the card's, and part of the least time the run can take.
  void cardAnswered(Duration delay) {
    ++answers_;
    delays_ += delay;
  }

  // Median, 99th percentile and maximum of the turnarounds (0 when none).
  Duration turnaroundPercentile(double fraction) const;
  const std::vector<Duration> &turnarounds() const { return turnarounds_; }
  Duration turnaroundTotal() const;
  Duration pauses() const { return pauses_; }
  long pauseCount() const { return pauseCount_; }
  Duration pauseOverrunMax() const { return overrunMax_; }
  Duration wireTime() const { return hostWire_ + cardWire_; }
  // From the host's first byte to the last byte either way: the run as the
  // line saw it, without the program's start and exit.
  Duration lineSpan() const;

  // The key=value lines of measure.txt.
  std::string report() const;

private:
  bool paced_;
  Duration cardTime_;
  long hostBytes_ = 0;
  long cardBytes_ = 0;
  Duration hostWire_{0};
  Duration cardWire_{0};
  Duration pauses_{0};
  long pauseCount_ = 0;
  Duration late_{0};
  Duration overrun_{0};
  Duration overrunMax_{0};
  long answers_ = 0;
  Duration delays_{0};
  std::optional<Clock::time_point> firstHost_;
  Clock::time_point lastActivity_{};
  std::optional<Clock::time_point> lastHost_;
  std::optional<Clock::time_point> lastCard_;
  std::vector<Duration> turnarounds_;
};

} // namespace cardsim

#include "Measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace cardsim {

namespace {

constexpr long BITS_PER_BYTE = 10;
constexpr std::chrono::nanoseconds ONE_SECOND = std::chrono::seconds(1);
// A host's sleep may end up to a clock tick early (Windows, Wine).
constexpr std::chrono::microseconds SLEEP_TOLERANCE{1000};

double millis(Measure::Duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double micros(Measure::Duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

std::string line(const char *key, double value, const char *format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return std::string(key) + "=" + text + "\n";
}

} // namespace

// Boot mode: 5 after head-block command and address bytes, 10 after kernel
// length bytes, 50 after the rate switch and micro mode commands, 100 before
// the main kernel and between probes, 1000 before kernel commands and after
// clock mode bytes, 2000 before the main kernel's sum. Video processor: 500
// after the device check, 1000 around Call Driver, 5000 after the soft reset
// and for write windows, 10000 for the erase. Key bytes: 500.
const long Measure::PAUSES_MS[] = {5, 10, 50, 100, 500, 1000, 2000, 5000, 10000};

Measure::Duration Measure::byteTime(int rate) {
  return rate > 0 ? ONE_SECOND * BITS_PER_BYTE / rate : Duration{0};
}

Measure::Measure(bool paced, Duration cardTime) : paced_(paced), cardTime_(cardTime) {}

void Measure::hostBytes(size_t count, int rate) {
  hostBytes_ += static_cast<long>(count);
  hostWire_ += byteTime(rate) * static_cast<long>(count);
}

void Measure::cardBytes(size_t count, int rate) {
  cardBytes_ += static_cast<long>(count);
  cardWire_ += byteTime(rate) * static_cast<long>(count);
}

void Measure::cardWritten(Clock::time_point at, Clock::time_point due) {
  lastCard_ = at;
  if (at > due)
    late_ += at - due;
  lastActivity_ = std::max(lastActivity_, at);
}

Measure::Duration Measure::lineSpan() const {
  return firstHost_ ? Duration(lastActivity_ - *firstHost_) : Duration{0};
}

void Measure::hostBurst(Clock::time_point at, bool cardSending) {
  const std::optional<Clock::time_point> previous = lastHost_;
  lastHost_ = at;
  if (!firstHost_)
    firstHost_ = at;
  lastActivity_ = std::max(lastActivity_, at);
  if (!previous)
    return;
  const bool answered = lastCard_ && *lastCard_ >= *previous;

  // The longest fixed pause that fits the gap. After an answer it explains
  // the gap only when it ended after the answer and the host's time since
  // the answer is at least half of it; shorter times are turnarounds (a
  // 5 ms pause and a slow exchange of the same length look alike).
  const Duration gap = at - *previous;
  long pause = 0;
  for (long ms : PAUSES_MS) {
    if (std::chrono::milliseconds(ms) - SLEEP_TOLERANCE <= gap)
      pause = ms;
  }
  const Clock::time_point pauseEnd = *previous + std::chrono::milliseconds(pause);
  const bool pausedAfterAnswer = answered && pauseEnd >= *lastCard_ &&
                                 (at - *lastCard_) * 2 >= std::chrono::milliseconds(pause);
  if (pause > 0 && !cardSending && (!answered || pausedAfterAnswer)) {
    pauses_ += std::chrono::milliseconds(pause);
    ++pauseCount_;
    const Clock::time_point waitedFor = answered ? std::max(pauseEnd, *lastCard_) : pauseEnd;
    const Duration overrun = std::max(Duration{0}, Duration(at - waitedFor));
    overrun_ += overrun;
    overrunMax_ = std::max(overrunMax_, overrun);
    return;
  }
  if (answered && !cardSending)
    turnarounds_.push_back(at - *lastCard_);
}

Measure::Duration Measure::turnaroundPercentile(double fraction) const {
  if (turnarounds_.empty())
    return Duration{0};
  std::vector<Duration> sorted = turnarounds_;
  std::sort(sorted.begin(), sorted.end());
  const size_t rank =
      static_cast<size_t>(std::lround(fraction * static_cast<double>(sorted.size() - 1)));
  return sorted[std::min(rank, sorted.size() - 1)];
}

Measure::Duration Measure::turnaroundTotal() const {
  Duration total{0};
  for (Duration d : turnarounds_)
    total += d;
  return total;
}

std::string Measure::report() const {
  const Duration cardTotal = cardTime_ * answers_ + delays_;
  std::string text = std::string("paced=") + (paced_ ? "yes" : "no") + "\n";
  text += line("card_time_us", micros(cardTime_), "%.1f");
  text += "host_bytes=" + std::to_string(hostBytes_) + "\n";
  text += "card_bytes=" + std::to_string(cardBytes_) + "\n";
  text += line("host_wire_ms", millis(hostWire_), "%.1f");
  text += line("card_wire_ms", millis(cardWire_), "%.1f");
  text += line("wire_ms", millis(wireTime()), "%.1f");
  text += "pauses=" + std::to_string(pauseCount_) + "\n";
  text += line("pause_ms", millis(pauses_), "%.0f");
  text += line("pause_overrun_ms", millis(overrun_), "%.1f");
  text += line("pause_overrun_max_ms", millis(overrunMax_), "%.2f");
  text += "answers=" + std::to_string(answers_) + "\n";
  text += line("card_delay_ms", millis(delays_), "%.1f");
  text += line("card_ms", millis(cardTotal), "%.1f");
  text += line("wire_limit_ms", millis(wireTime() + pauses_ + cardTotal), "%.1f");
  text += line("line_span_ms", millis(lineSpan()), "%.1f");
  text += line("card_late_ms", millis(late_), "%.1f");
  text += "exchanges=" + std::to_string(turnarounds_.size()) + "\n";
  text += line("turnaround_mean_us",
               micros(turnaroundTotal()) /
                   static_cast<double>(std::max<size_t>(turnarounds_.size(), 1)),
               "%.1f");
  text += line("turnaround_total_ms", millis(turnaroundTotal()), "%.1f");
  text += line("turnaround_median_us", micros(turnaroundPercentile(0.5)), "%.1f");
  text += line("turnaround_p99_us", micros(turnaroundPercentile(0.99)), "%.1f");
  text += line("turnaround_max_us", micros(turnaroundPercentile(1.0)), "%.1f");
  return text;
}

} // namespace cardsim

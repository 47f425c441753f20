#include "Adapter.h"

#include <algorithm>

namespace cardsim {

namespace {
constexpr Millis USB_FRAME{1};
} // namespace

UsbAdapter::UsbAdapter(Millis latency, size_t packet) : latency_(latency), packet_(packet) {}

UsbAdapter::Clock::time_point UsbAdapter::nextFrame(Clock::time_point at) {
  const Clock::duration frame = USB_FRAME;
  const Clock::duration since = at.time_since_epoch() % frame;
  return since == Clock::duration::zero() ? at : at + (frame - since);
}

UsbAdapter::Clock::time_point UsbAdapter::hold(Clock::time_point arrival, Clock::time_point now,
                                               size_t *joined) {
  // The waiting bytes have gone once their time came, before this one arrived.
  if (waiting_ > 0 && (arrival >= leaves_ || leaves_ <= now)) {
    sent_ = leaves_;
    waiting_ = 0;
  }
  if (waiting_ == 0)
    leaves_ = std::max(arrival + latency_, sent_);
  *joined = waiting_;
  if (++waiting_ >= packet_) {
    leaves_ = std::max(arrival, sent_);
    sent_ = leaves_;
    waiting_ = 0;
  }
  return leaves_;
}

} // namespace cardsim

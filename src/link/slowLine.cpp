#include "link/slowLine.h"

#include <algorithm>
#include <cstdio>

namespace {

const long BITS_PER_BYTE = 10;
const long US_PER_MS = 1000;
const long US_PER_S = 1000000;

struct ExchangeSamples {
  long excessUs[SLOW_LINE_SAMPLES];
  long wireUs[SLOW_LINE_SAMPLES];
  int count;
};
ExchangeSamples samples;

long median(long *values, int count) {
  std::nth_element(values, values + count / 2, values + count);
  return values[count / 2];
}

} // namespace

DWORD exchangeClock() { return timeGetTime(); }

void exchangeDone(DWORD sentAt, DWORD bytes, DWORD rate) {
  if (samples.count >= SLOW_LINE_SAMPLES || rate == 0)
    return;
  const long wire = static_cast<long>(bytes) * BITS_PER_BYTE * US_PER_S / static_cast<long>(rate);
  const long took = static_cast<long>(timeGetTime() - sentAt) * US_PER_MS;
  samples.excessUs[samples.count] = took - wire;
  samples.wireUs[samples.count] = wire;
  if (++samples.count == SLOW_LINE_SAMPLES)
    adviseSlowLine(samples.excessUs, samples.wireUs, SLOW_LINE_SAMPLES);
}

bool adviseSlowLine(long *excessUs, long *wireUs, int count) {
  const long excess = median(excessUs, count);
  if (excess <= SLOW_LINE_EXCESS_US)
    return false;
  const long wire = std::max(median(wireUs, count), 1L);
  std::fprintf(stderr,
               "The exchanges with the card are slow: each answer comes %ld ms later than "
               "the line needs, which makes this job about %ld%% longer. Lower the latency "
               "timer of the serial adapter to 1 ms: %s\n",
               excess / US_PER_MS, excess * 100 / wire, latencyTimerPlace());
  return true;
}

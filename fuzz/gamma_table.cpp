// The GAMMA job's table reader, line by line as the job reads: any file stays
// inside the table's 3072 values, and no stored value is out of range.
#include "channel/gamma.h"
#include "chunks.h"

#include <algorithm>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const auto table = std::make_unique<GammaTable>();
  gammaTableStart(table.get());
  fuzz::forEachLine<GAMMA_LINE_SIZE>(data, size, [&](const char *line) {
    return gammaTableFeedLine(table.get(), line) != GAMMA_LINE_OUT_OF_RANGE;
  });
  for (int k = 0; k < 3 * std::min(table->lines, GAMMA_LINES); ++k)
    fuzz::require(table->valuesAsSent[k] >= 0 && table->valuesAsSent[k] <= GAMMA_MAX_VALUE);
  return 0;
}

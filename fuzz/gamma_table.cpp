// The GAMMA job's reader of the table file, line by line as the job reads
// it: any file stays inside the table's 3072 values, and a stored value is
// never out of range.
#include "channel/gamma.h"
#include "chunks.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::unique_ptr<GammaTable> table(new GammaTable);
  gammaTableStart(table.get());
  fuzz::forEachLine<GAMMA_LINE_SIZE>(data, size, [&](const char *line) {
    return gammaTableFeedLine(table.get(), line) != GAMMA_LINE_OUT_OF_RANGE;
  });
  const int stored = table->lines < GAMMA_LINES ? table->lines : GAMMA_LINES;
  for (int k = 0; k < 3 * stored; ++k)
    if (table->vecteur_binaire[k] < 0 || table->vecteur_binaire[k] > GAMMA_MAX_VALUE)
      __builtin_trap();
  return 0;
}

// The GAMMA job's reader of the table file, line by line as the job reads
// it (fgets into its 256-byte line buffer): any file stays inside the
// table's 3072 values, and a stored value is never out of range.
#include "channel/gamma.h"

#include <cstdint>

#include <cstdio>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (!file)
    return 0;
  std::unique_ptr<GammaTable> table(new GammaTable);
  gammaTableStart(table.get());
  char line[GAMMA_LINE_SIZE];
  while (std::fgets(line, sizeof line, file))
    if (gammaTableFeedLine(table.get(), line) == GAMMA_LINE_OUT_OF_RANGE)
      break;
  std::fclose(file);
  const int stored = table->lines < GAMMA_LINES ? table->lines : GAMMA_LINES;
  for (int k = 0; k < 3 * stored; ++k)
    if (table->vecteur_binaire[k] < 0 || table->vecteur_binaire[k] > GAMMA_MAX_VALUE)
      __builtin_trap();
  return 0;
}

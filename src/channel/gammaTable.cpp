#include "channel/gamma.h"

#include "channel/upload.h"

namespace {

const char COMMENT_START = '%';
const int FIELDS = 3;

// The three fields of a table line; a field the line does not supply is 0.
// After each number exactly one character is skipped, whatever it is.
void readFields(const char *line, long fields[FIELDS]) {
  const char *p = line;
  for (int k = 0; k < FIELDS; ++k)
    fields[k] = 0;
  for (int k = 0; k < FIELDS; ++k) {
    if (!scanDecimal(&p, &fields[k]))
      return;
    if (k + 1 < FIELDS) {
      if (*p == '\0')
        return;
      ++p;
    }
  }
}

} // namespace

void gammaTableStart(GammaTable *table) {
  for (short &v : table->valuesAsSent)
    v = 0;
  table->lines = 0;
}

GammaLine gammaTableFeedLine(GammaTable *table, const char *line) {
  if (line[0] == COMMENT_START)
    return GAMMA_LINE_COMMENT;
  long fields[FIELDS];
  readFields(line, fields);
  for (long v : fields)
    if (v < 0 || v > GAMMA_MAX_VALUE)
      return GAMMA_LINE_OUT_OF_RANGE;
  if (table->lines >= GAMMA_LINES) {
    table->lines = GAMMA_LINES + 1;
    return GAMMA_LINE_PAST_END;
  }
  for (int k = 0; k < FIELDS; ++k)
    table->valuesAsSent[table->lines * FIELDS + k] = static_cast<short>(fields[k]);
  ++table->lines;
  return GAMMA_LINE_STORED;
}

void gammaValueBytes(short value, BYTE bytes[2]) {
  bytes[0] = static_cast<BYTE>((value >> 8) & 0xFF);
  bytes[1] = static_cast<BYTE>(value & 0xFF);
}

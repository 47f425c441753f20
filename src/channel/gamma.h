// The gamma table file: 1024 table lines of three values (red, green, blue)
// between 0 and 1023, read line by line. A line whose first character is
// "%" is a comment; every other line, an empty one included, is a table
// line read as "integer, any one character, integer, any one character,
// integer", blanks before each integer skipped, a missing field 0.
#pragma once

#include "platform/platform.h"

#include <cstddef>

const int GAMMA_LINES = 1024;
const int GAMMA_VALUES = 3 * GAMMA_LINES;
const int GAMMA_MAX_VALUE = 1023;
const size_t GAMMA_LINE_SIZE = 256; // lines are read up to 255 characters

struct GammaTable {
  short valuesAsSent[GAMMA_VALUES]; // in file order: line 1's three first
  int lines;                        // table lines seen, stored or not
};

enum GammaLine {
  GAMMA_LINE_COMMENT,
  GAMMA_LINE_STORED,
  GAMMA_LINE_OUT_OF_RANGE,
  GAMMA_LINE_PAST_END, // one line more than the table holds: counted, not stored
};

void gammaTableStart(GammaTable *table);
// Takes one line as read from the file (its line end may be included).
// Lines beyond the 1024th are counted but not stored.
GammaLine gammaTableFeedLine(GammaTable *table, const char *line);

// The value as it goes on the wire: high byte first.
void gammaValueBytes(short value, BYTE bytes[2]);

// The GAMMA job: sends the table of a CSV file. 0, -1, or JOB_REFUSED for
// a table that fails the check or a file that does not open.
int runGammaJob(const char *fileName);

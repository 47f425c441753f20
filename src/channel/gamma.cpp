// The GAMMA job: reads and checks a gamma table file, then sends its 3072
// values to the card, each acknowledged by ".", and the 8-bit sum.
#include "channel/gamma.h"

#include "channel/upload.h"
#include "link/notice.h"
#include "link/port.h"
#include "link/recovery.h"
#include "link/updateFile.h"

#include <cstdio>

namespace {

const char GAMMA_COMMAND[] = "#GAMMA 3 0\r";
const DWORD GAMMA_COMMAND_LENGTH = 11;
const DWORD GAMMA_DRAIN_MS = 5000; // for both drains, from the job's start
const DWORD GAMMA_COMMAND_PAUSE_MS = 100;
const DWORD GAMMA_VALUE_ACK_MS = 60000;
const DWORD GAMMA_END_MS = 5000;         // for "~" and again for "S" or "E"
const char GAMMA_NAME[] = "gamma table"; // the upload, as the advice names it

// Reads and checks the whole file. False after printing what is wrong; a
// value out of range is named by its line on standard error.
bool analyse(FILE *file, const char *fileName, GammaTable *table) {
  char text[GAMMA_LINE_SIZE] = "";
  int fileLine = 1;
  gammaTableStart(table);
  std::printf("\n->Analysing Gamma File...");
  while (std::fgets(text, sizeof text, file)) {
    const GammaLine line = gammaTableFeedLine(table, text);
    if (line == GAMMA_LINE_OUT_OF_RANGE) {
      std::printf("\nError, the RGB value must be between 0 and 1023.");
      notice("%s, line %d: a value is not between 0 and %d\n", fileName, fileLine, GAMMA_MAX_VALUE);
      return false;
    }
    // The reader stops at the first line the table has no room for: a file
    // without end (or of billions of lines) is refused there.
    if (line == GAMMA_LINE_PAST_END) {
      notice("%s, line %d: one line more than the table's %d; the rest is not read\n", fileName,
             fileLine, GAMMA_LINES);
      break;
    }
    fileLine = nextLineNumber(fileLine, text);
  }
  if (table->lines != GAMMA_LINES) {
    std::printf("Gamma File error -> The file contains %d lines (only 1024 "
                "lines are accepted)",
                table->lines);
    return false;
  }
  std::printf("OK");
  return true;
}

// One value, high byte first, one byte per write. False after "ERROR 0".
bool writeValue(short value, BYTE *checksum) {
  BYTE bytes[2];
  gammaValueBytes(value, bytes);
  for (BYTE b : bytes) {
    DWORD sent = 0;
    const bool written = portWrite(&b, 1, sent);
    *checksum = byteSum(*checksum, &b, 1);
    if (!written || sent != 1) {
      std::printf("ERROR 0");
      return false;
    }
  }
  return true;
}

// The data phase and the card's verdict: "S" or "E", or 0 after printing
// why the exchange broke off.
BYTE sendTable(const GammaTable &table) {
  BYTE checksum = 0;
  BYTE got = 0;
  noteUploadStage(GAMMA_NAME, UPLOAD_PARTLY_SENT);
  for (short value : table.valuesAsSent) {
    const DWORD deadline = GetTickCount() + GAMMA_VALUE_ACK_MS;
    if (!writeValue(value, &checksum))
      return 0;
    if (!waitForOneOf(".", deadline, &got)) {
      std::printf("ERROR 1");
      return 0;
    }
  }
  noteUploadStage(GAMMA_NAME, UPLOAD_SENT_WHOLE);
  DWORD sent = 0;
  portWrite(&checksum, 1, sent);
  if (!waitForOneOf("~", GetTickCount() + GAMMA_END_MS, &got)) {
    std::printf("\nERROR 2");
    return 0;
  }
  if (!waitForOneOf("ES", GetTickCount() + GAMMA_END_MS, &got)) {
    std::printf("\nERROR 3");
    return 0;
  }
  return got;
}

// Everything up to the verdict; 0 when the job ends at its failure end,
// with `*refused` set when the table was refused.
BYTE runGamma(FILE *file, const char *fileName, bool *refused) {
  GammaTable table;
  const DWORD drainDeadline = GetTickCount() + GAMMA_DRAIN_MS;
  if (!drainUntil(drainDeadline))
    return 0;
  if (!analyse(file, fileName, &table)) {
    *refused = true;
    return 0;
  }
  std::printf("\n->Sending Gamma Data...");
  DWORD sent = 0;
  if (!portWrite(GAMMA_COMMAND, GAMMA_COMMAND_LENGTH, sent))
    return 0;
  noteUploadStage(GAMMA_NAME, UPLOAD_STARTED);
  Sleep(GAMMA_COMMAND_PAUSE_MS);
  if (!drainUntil(drainDeadline))
    return 0;
  return sendTable(table);
}

} // namespace

int runGammaJob(const char *fileName) {
  noteRerunCommand("GAMMA", fileName);
  FILE *file = openUpdateFile(fileName);
  BYTE verdict = 0;
  bool refused = file == nullptr;
  if (!file)
    std::printf("/nFile load error\n");
  else
    verdict = runGamma(file, fileName, &refused);
  // Only the full update acts on an upload left open, and the gamma table is
  // not part of it: a gamma upload that broke off ends at -1.
  return endUploadJob(file, {verdict, refused, false}, {false, 0, nullptr});
}

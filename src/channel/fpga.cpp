// The FPGA job: streams an XSVF file to the card, which asks for the
// file's bytes one at a time or a block at a time and programs its FPGA
// from them. The file is not interpreted here.
#include "channel/fpga.h"

#include "link/jobResult.h"
#include "link/port.h"
#include "link/recovery.h"
#include "link/updateFile.h"

#include <cstdio>

namespace {

const char FPGA_COMMAND[] = "#FPGA 1\r";
const DWORD FPGA_COMMAND_LENGTH = 8;
const DWORD FPGA_START_PAUSE_MS = 1000; // before the command
const DWORD FPGA_SERVE_PAUSE_MS = 500;  // after it
const size_t FPGA_CHUNK = 1000;         // a block is served through this
// A port whose reads keep failing (an unplugged adapter) ends the job after
// this many failed reads in a row, each followed by a 1 ms pause.
const int FPGA_FAILED_READS_LIMIT = 1000;
const DWORD FPGA_FAILED_READ_PAUSE_MS = 1;

enum ReadResult { READ_BYTE, READ_NOTHING, READ_PORT_LOST };

// The job's running state: the file, the bytes sent and the progress lines.
struct Transfer {
  FILE *file;
  long totalSize;    // the file's size
  long filePosition; // bytes taken from the file
  unsigned size;     // bytes sent to the card
  int progressLines; // progress lines printed
  int failedReads;   // failed read calls in a row
};

// One read call of one byte. The call is repeated while it fails, up to
// the limit; a call that works but brings nothing is READ_NOTHING.
ReadResult readOneByte(Transfer *t, BYTE *b) {
  for (;;) {
    DWORD n = 0;
    if (portRead(b, 1, n)) {
      t->failedReads = 0;
      return n == 1 ? READ_BYTE : READ_NOTHING;
    }
    if (++t->failedReads >= FPGA_FAILED_READS_LIMIT) {
      std::printf("\nThe port cannot be read any more : error %ld\n",
                  static_cast<long>(GetLastError()));
      return READ_PORT_LOST;
    }
    Sleep(FPGA_FAILED_READ_PAUSE_MS);
  }
}

// Waits for the next byte of a request, however long the card takes.
ReadResult waitNextByte(Transfer *t, BYTE *b) {
  ReadResult r;
  while ((r = readOneByte(t, b)) == READ_NOTHING) {
  }
  return r;
}

// Throws away what else the card has sent, until a read brings nothing.
bool drainRequests(Transfer *t) {
  BYTE b;
  ReadResult r;
  while ((r = readOneByte(t, &b)) == READ_BYTE) {
  }
  return r != READ_PORT_LOST;
}

void reportFileReadError(const Transfer &t) {
  if (std::ferror(t.file))
    std::perror("File read error\n");
  else
    std::fprintf(stderr, "File read error\n: the card asked for bytes past "
                         "the end of the file\n");
}

// Writes all of `data`, repeating the remainder when the write time-out
// cuts a call short; every byte moved counts in `size`.
bool writeData(Transfer *t, const BYTE *data, DWORD count) {
  while (count > 0) {
    DWORD sent = 0;
    if (!portWrite(data, count, sent)) {
      std::printf("Failed to write data : error %ld\n", static_cast<long>(GetLastError()));
      return false;
    }
    t->size += sent;
    data += sent;
    count -= sent;
  }
  return true;
}

// Sends the next `count` bytes of the file, through the chunk buffer in
// pieces of at most its size. A request past the end of the file sends
// nothing and fails.
bool sendFromFile(Transfer *t, unsigned count) {
  BYTE chunk[FPGA_CHUNK];
  if (static_cast<long>(count) > t->totalSize - t->filePosition) {
    reportFileReadError(*t);
    return false;
  }
  while (count > 0) {
    const size_t piece = count < FPGA_CHUNK ? count : FPGA_CHUNK;
    const size_t taken = std::fread(chunk, 1, piece, t->file);
    t->filePosition += static_cast<long>(taken);
    if (taken != piece) {
      reportFileReadError(*t);
      return false;
    }
    if (!writeData(t, chunk, static_cast<DWORD>(piece)))
      return false;
    count -= static_cast<unsigned>(piece);
  }
  return true;
}

void showProgress(Transfer *t) {
  if (!fpgaProgressDue(t->totalSize, t->progressLines, t->size))
    return;
  std::printf("%cJob at %0.2f %c", 13, fpgaPercent(t->size, t->totalSize), 37);
  ++t->progressLines;
}

enum Outcome { SERVED_SUCCESS, SERVED_FAILURE, ABORTED };

// Serves the card's requests until its end report or a failure here.
Outcome serve(Transfer *t) {
  FpgaRequests requests;
  fpgaRequestsStart(&requests);
  for (;;) {
    BYTE b = 0;
    ReadResult r;
    if (requests.state == FpgaRequestsState::WAITING_FOR_REQUEST) {
      showProgress(t);
      r = readOneByte(t, &b);
    } else {
      r = waitNextByte(t, &b);
    }
    if (r == READ_PORT_LOST)
      return ABORTED;
    if (r == READ_NOTHING)
      continue;
    switch (fpgaRequestsFeed(&requests, b)) {
    case FPGA_SEND_BYTE:
      if (!drainRequests(t) || !sendFromFile(t, 1))
        return ABORTED;
      break;
    case FPGA_SEND_BLOCK:
      if (!drainRequests(t) || !sendFromFile(t, requests.count))
        return ABORTED;
      break;
    case FPGA_MALFORMED:
      std::printf("\nerror : $%c", requests.byte);
      break;
    case FPGA_DONE:
      if (requests.byte == FPGA_SUCCESS)
        return SERVED_SUCCESS;
      std::printf("\nFPGA programming failed : the card ended with ~%c "
                  "(0x%02X)\n",
                  requests.byte >= 0x20 && requests.byte < 0x7F ? requests.byte : '?',
                  requests.byte);
      return SERVED_FAILURE;
    case FPGA_NOTHING:
      break;
    }
  }
}

// The file's true size, read through once; the file is rewound.
long measure(FILE *file) {
  BYTE scratch[FPGA_CHUNK];
  long total = 0;
  size_t n;
  while ((n = std::fread(scratch, 1, sizeof scratch, file)) > 0)
    total += static_cast<long>(n);
  std::rewind(file);
  return total;
}

// Everything after the file is open; false when the closing report is due.
bool runFpga(Transfer *t, Outcome *outcome) {
  t->totalSize = measure(t->file);
  Sleep(FPGA_START_PAUSE_MS);
  DWORD sent = 0;
  if (!portWrite(FPGA_COMMAND, FPGA_COMMAND_LENGTH, sent))
    return false;
  noteCardChange(ADVICE_RUN_AGAIN, "the FPGA is partly programmed");
  Sleep(FPGA_SERVE_PAUSE_MS);
  std::printf("\n->Programming FPGA...\n");
  *outcome = serve(t);
  return *outcome != ABORTED;
}

} // namespace

int runFpgaJob(const char *fileName) {
  noteRerunCommand("FPGA", fileName);
  if (!setTimeoutProfile(STREAM_TIMEOUTS)) {
    return -1;
  }
  Transfer t{openUpdateFile(fileName), 0, 0, 0, 0, 0};
  Outcome outcome = ABORTED;
  const bool ended = t.file != nullptr && runFpga(&t, &outcome);
  if (t.file)
    std::fclose(t.file);
  if (ended) {
    if (outcome == SERVED_SUCCESS)
      std::printf("\nSuccess");
    return outcome == SERVED_SUCCESS ? 0 : -1;
  }
  std::printf("Taille du fichier : %d\n", static_cast<int>(t.size));
  std::printf("\n/**********************************/\n");
  std::fflush(stdout);
  return t.file ? -1 : JOB_REFUSED;
}

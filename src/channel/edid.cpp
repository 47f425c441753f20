// The EDID job: writes a 128- or 256-byte EDID image into the card's EDID
// memory, one acknowledged byte at a time, then the image's 8-bit sum.
#include "channel/edid.h"
#include "channel/upload.h"
#include "link/port.h"
#include "link/recovery.h"
#include "link/updateFile.h"

#include <cstdio>

namespace {

const size_t EDID_READ_SIZE = 300; // one read; a valid image is 128 or 256
const size_t EDID_BLOCK = 128;
const size_t EDID_TWO_BLOCKS = 256;
const char EDID_ONE_BLOCK_COMMAND[] = "#EDID 1\r";
const char EDID_TWO_BLOCKS_COMMAND[] = "#EDID 2\r";
const DWORD EDID_COMMAND_LENGTH = 8;

const DWORD EDID_DRAIN_MS = 5000;
const DWORD EDID_START_PAUSE_MS = 500;
const DWORD EDID_ANSWER_MS = 5000; // for each "." and each end byte
const char EDID_NAME[] = "EDID";   // the upload, as the advice names it

// Sends the image byte by byte, each acknowledged by "."; the sum byte
// follows. Returns the card's verdict ("S" or "E"), or 0 when the exchange
// broke off, with `*started` set once the card was told to take an EDID.
BYTE sendImage(const BYTE *image, size_t length, bool *started) {
  const char *command = length == EDID_BLOCK ? EDID_ONE_BLOCK_COMMAND : EDID_TWO_BLOCKS_COMMAND;
  DWORD sent = 0;
  if (!portWrite(command, EDID_COMMAND_LENGTH, sent))
    return 0;
  *started = true;
  noteUploadStage(EDID_NAME, UPLOAD_STARTED);
  Sleep(EDID_START_PAUSE_MS);

  noteUploadStage(EDID_NAME, UPLOAD_PARTLY_SENT);
  BYTE checksum = 0;
  BYTE got = 0;
  for (size_t k = 0; k < length; ++k) {
    const DWORD deadline = GetTickCount() + EDID_ANSWER_MS;
    const bool written = portWrite(&image[k], 1, sent);
    checksum = byteSum(checksum, &image[k], 1);
    if (!written || sent != 1)
      return 0;
    if (!waitForOneOf(".", deadline, &got))
      return 0;
  }
  noteUploadStage(EDID_NAME, UPLOAD_SENT_WHOLE);
  portWrite(&checksum, 1, sent);
  if (!waitForOneOf("~", GetTickCount() + EDID_ANSWER_MS, &got))
    return 0;
  if (!waitForOneOf("ES", GetTickCount() + EDID_ANSWER_MS, &got))
    return 0;
  return got;
}

// Everything after the file is open, up to the verdict; 0 when the job
// ends at its failure end, with `*refused` set when the image was refused
// and `*started` once the card was told to take it.
BYTE runEdid(FILE *file, DWORD time, bool *refused, bool *started) {
  BYTE image[EDID_READ_SIZE];
  if (!drainUntil(time + EDID_DRAIN_MS))
    return 0;
  const size_t length = std::fread(image, 1, EDID_READ_SIZE, file);
  if (length != EDID_BLOCK && length != EDID_TWO_BLOCKS) {
    std::printf("\nError only file of 128 or 256 bytes can be read\n");
    *refused = true;
    return 0;
  }
  std::printf("\n->Program EDID with  %d bytes...\n", static_cast<int>(length));
  return sendImage(image, length, started);
}

} // namespace

int runEdidJob(const char *fileName) {
  FILE *file = nullptr;
  BYTE verdict = 0;
  bool refused = false, started = false;
  noteRerunCommand("EDID", fileName);
  const DWORD time = GetTickCount();
  if (setTimeoutProfile(EDID_TIMEOUTS)) {
    file = openUpdateFile(fileName);
    if (file) {
      verdict = runEdid(file, time, &refused, &started);
    } else {
      std::printf("/nFile load error\n");
      refused = true;
    }
  }
  return endUploadJob(file, {verdict, refused, started},
                      {true, time, "Unable to write EDID information "});
}

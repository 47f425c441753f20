// The VERIFY job: reads a flash device back through the ISP driver and
// counts the 16-bit words that differ from the image file.
#include "isp/verify.h"
#include "isp/exchange.h"
#include "isp/flashio.h"
#include "link/jobResult.h"
#include "link/notice.h"
#include "link/port.h"

#include <cstdio>

namespace {

const int VERIFY_WORDS = 30; // message and answer arrays
// The image is read as for a device without a header: the whole file is
// compared, with no minimum length.
const int NO_HEADER_DEVICE = 1;
const DWORD READ_BLOCK_SIZE = 32;
const int READ_BLOCK_WORDS = 16;
// Re-synchronisations of one block before the job gives up.
const int MAX_RESYNC = 6;
const DWORD PROGRESS_LINES = 5000;
const int CHAR_CR = 13;
const int CHAR_PERCENT = 37;

bool validDevice(int device) { return (device >= 1 && device <= 5) || device == 7; }

bool sendReadBlock(IspWord *answer) {
  IspWord msg[VERIFY_WORDS] = {ISP_READ_BLOCK};
  return sendISPCmd(msg, answer, 0);
}

// A new read-back window from the refused block to the end of the file.
bool reopenWindow(int device, DWORD addr, DWORD maxAddr) {
  const IspWindow window = {ISP_MODE_READ_BACK, device, maxAddr};
  return resynchronise(window, addr, ResyncReport::SETTING_LINE, false);
}

// After an answer of another kind: asks the device's state, then the same
// block is read again.
bool askStatus() {
  IspWord request[ISP_MAX_WORDS];
  IspWord status[ISP_MAX_WORDS] = {};
  return askDeviceStatus(request, status);
}

// Reads the block at `addr` into `answer`, recovering from refusals, other
// answers and short answers a bounded number of times.
bool readBlock(int device, DWORD addr, DWORD maxAddr, IspWord *answer) {
  for (int resync = 0;; ++resync) {
    for (int k = 0; k < VERIFY_WORDS; ++k)
      answer[k] = 0;
    const bool accepted = sendReadBlock(answer);
    // A block recovered MAX_RESYNC times gets no further recovery.
    const bool last = resync == MAX_RESYNC;
    if (!accepted) {
      if (last || !reopenWindow(device, addr, maxAddr))
        return false;
      continue;
    }
    const IspWord code = ispCode(answer[0]);
    if (code != ISP_READ_BLOCK_ANSWER) {
      std::printf("\nBad Response - %04x ", code);
      if (last || !askStatus())
        return false;
      continue;
    }
    const int words = blockWords(answer[0]);
    if (words < wordsNeeded(addr, maxAddr)) {
      // The device's read position is unknown now: start a window here.
      std::printf("\nShort Response - %d words ", words);
      if (last || !reopenWindow(device, addr, maxAddr))
        return false;
      continue;
    }
    return true;
  }
}

// The count and the first differing word, on standard error.
void reportMismatches(DWORD mismatch, const FirstMismatch &first) {
  notice("%lu %s; the first at byte 0x%06lX: 0x%0*X in the file, "
         "0x%0*X on the card\n",
         static_cast<unsigned long>(mismatch), mismatch == 1 ? "word differs" : "words differ",
         static_cast<unsigned long>(first.address), first.digits, first.file, first.digits,
         first.card);
}

int failVerify(FlashImage *image) {
  closeImage(image);
  pressAKey();
  return -1;
}

} // namespace

int blockWords(IspWord word0) { return (word0 >> 12) + 1; }

int wordsNeeded(DWORD addr, DWORD maxAddr) {
  const DWORD left = maxAddr - addr;
  return left >= READ_BLOCK_SIZE ? READ_BLOCK_WORDS : static_cast<int>((left + 1) / 2);
}

DWORD countMismatches(const IspWord *answer, const unsigned char *image, DWORD addr, DWORD maxAddr,
                      FirstMismatch *first) {
  DWORD mismatch = 0;
  const int count = blockWords(answer[0]);
  for (int k = 0; k < count; ++k) {
    const DWORD offset = addr + 2 * k;
    if (offset >= maxAddr)
      break;
    // The last word of an odd-length file has only its low byte in it.
    const bool whole = offset + 1 < maxAddr;
    const IspWord file =
        whole ? static_cast<IspWord>(image[offset] | image[offset + 1] << 8) : image[offset];
    const IspWord card = whole ? answer[k + 1] : static_cast<IspWord>(answer[k + 1] & 0xFF);
    if (file == card)
      continue;
    if (!first->found)
      *first = {true, offset, file, card, whole ? 4 : 2};
    ++mismatch;
  }
  return mismatch;
}

int runVerifyJob(const char *fileName, int device) {
  FlashImage image;
  if (!openImage(&image, fileName, NO_HEADER_DEVICE)) {
    pressAKey();
    return JOB_REFUSED;
  }
  const DWORD maxAddr = image.size;
  drainPort();
  const DWORD begin = GetTickCount();
  if (!validDevice(device)) {
    std::printf("Invalid device ID %d\n", device);
    return failVerify(&image);
  }
  if (!sendSetIspMode(ISP_MODE_READ_BACK, device, 0, maxAddr, 0)) {
    std::printf("Unable to send cmd.\n");
    return failVerify(&image);
  }
  std::printf("Setting ISP Mode...\n");
  IspWord request[VERIFY_WORDS];
  IspWord answer[VERIFY_WORDS] = {};
  if (!askDeviceStatus(request, answer))
    return failVerify(&image);
  if (deviceInForce(answer) != device) {
    std::printf("Device not setted !\n");
    return failVerify(&image);
  }

  DWORD mismatch = 0;
  FirstMismatch first = {};
  DWORD lines = 0;
  const DWORD step = maxAddr / PROGRESS_LINES;
  for (DWORD addr = 0; addr < maxAddr; addr += READ_BLOCK_SIZE) {
    if (!readBlock(device, addr, maxAddr, answer))
      return failVerify(&image);
    mismatch += countMismatches(answer, image.data, addr, maxAddr, &first);
    if (progressDue(step, addr, &lines))
      std::printf("%cJob at %0.2f %c --- Mismatch Total %d", CHAR_CR,
                  static_cast<double>(addr) / maxAddr * 100, CHAR_PERCENT,
                  static_cast<int>(mismatch));
  }
  std::printf("%cJob at 100%c ----- Mismatch Total %d \t\t\t\t", CHAR_CR, CHAR_PERCENT,
              static_cast<int>(mismatch));
  std::printf("\n");
  if (first.found)
    reportMismatches(mismatch, first);
  closeImage(&image);
  printTime(begin, 1);
  return mismatch == 0 ? 0 : -1;
}

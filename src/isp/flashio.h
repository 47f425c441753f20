// What the flash image jobs (programming and verify) share: the image file
// in its heap buffer, the port drain before the first command, the window
// and status messages, the re-synchronisation after a refused block, and
// the thinning of progress lines.
#pragma once

#include "isp/codec.h"
#include "platform/platform.h"

#include <cstdio>

// The image buffer is larger than the largest image so that the last
// block of an image may always be read whole.
const DWORD IMAGE_BUFFER_SIZE = 3145728;
const DWORD IMAGE_MAX_SIZE = 2097152;
// Erased flash; fills the buffer past the end of the file.
const unsigned char ERASED_BYTE = 0xFF;

struct FlashImage {
  unsigned char *data;
  FILE *file;
  DWORD size; // bytes read from the file
};

// Device ID of an ISP driver file.
const int DRIVER_DEVICE = 0;

// Takes the buffer, opens and reads the file and prints its size; a file
// too long or too short for `device` is refused, but a driver file is cut
// at IMAGE_MAX_SIZE. On failure prints why,
// leaves nothing open and returns false.
bool openImage(FlashImage *image, const char *filename, int device);
void closeImage(FlashImage *image);

// Devices 5 and 7 begin with a header of this size, written last.
const DWORD HEADER_SIZE = 0x100;

// True when `device` carries a 256-byte header written last (5 and 7).
bool hasHeader(int device);
// Refuses, with a message, an image of `size` bytes that cannot be written
// whole to `device`: longer than IMAGE_MAX_SIZE, or for devices with a
// header shorter than it.
bool imageSizeAcceptable(const char *filename, long size, int device);
// The same test on the file before anything is sent, which also refuses a
// file that cannot be opened or read, and an empty one (its device would be
// erased and nothing written). A refusal of the opened file ends with the
// elapsed-time line, as a failed load does.
bool imageFileAcceptable(const char *filename, int device);

// Reads and throws away the card's waiting input until a read brings none.
void drainPort();

// Set ISP Mode: opens a window of `count` bytes at `start` on `device`.
// True when the exchange succeeded.
bool sendSetIspMode(IspWord mode, int device, DWORD start, DWORD count, DWORD wait);
// ISP Mode Status Request into `request`, its answer into `answer`
// (ISP_MAX_WORDS words each). True when the exchange succeeded.
bool sendStatusRequest(IspWord *request, IspWord *answer);
// The device ID in force, from a status answer.
inline int deviceInForce(const IspWord *answer) { return answer[1] & 0xFF; }
// The status request of sendStatusRequest; prints "Unable to send cmd." when
// the exchange failed.
bool askDeviceStatus(IspWord *request, IspWord *answer);

// What a re-synchronisation shows besides "ISP Mode Status Request ...".
enum class ResyncReport {
  MESSAGES,             // the request and its answer, and "Setting ISP Mode..."
  MESSAGES_AND_ADDRESS, // the same with the refused block's address before the window
  SETTING_LINE,         // "Setting ISP Mode..." only
  BRIEF,                // nothing more
};

// The window a re-synchronisation opens again: `mode` on `device`, up to
// `end`.
struct IspWindow {
  IspWord mode;
  int device;
  DWORD end;
};

// After a refused block at `addr`: asks the device's state, then opens a
// new window from `addr` to the window's end. When `spent` (the block's
// recoveries are used up) the state is still asked and shown, and no window
// opened. False when the job must end.
bool resynchronise(const IspWindow &window, DWORD addr, ResyncReport report, bool spent);

// Packs `wordCount` words from bytes, first byte low.
void packWords(IspWord *words, const unsigned char *bytes, int wordCount);

// Progress lines are thinned: one is due after the block at `addr` when
// `addr` has passed step * lines printed; counts the line in `*lines`.
bool progressDue(DWORD step, DWORD addr, DWORD *lines);

// "Press a key to continue ... " and one key.
void pressAKey();

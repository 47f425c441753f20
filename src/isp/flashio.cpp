#include "isp/flashio.h"

#include "isp/exchange.h"
#include "link/port.h"
#include "link/updateFile.h"

#include <cstring>
#include <new>

namespace {
const DWORD DRAIN_READ_SIZE = 1024;
} // namespace

bool hasHeader(int device) { return device == 5 || device == 7; }

bool imageSizeAcceptable(const char *filename, long size, int device) {
  if (size > static_cast<long>(IMAGE_MAX_SIZE)) {
    std::printf("File %s is longer than %lu bytes: refused, nothing was "
                "sent.\n",
                filename, static_cast<unsigned long>(IMAGE_MAX_SIZE));
    return false;
  }
  if (hasHeader(device) && size < static_cast<long>(HEADER_SIZE)) {
    std::printf("File %s is shorter than its %lu-byte header: refused, "
                "nothing was sent.\n",
                filename, static_cast<unsigned long>(HEADER_SIZE));
    return false;
  }
  return true;
}

namespace {

// The size test on an open file; closes it.
bool openFileAcceptable(FILE *file, const char *filename, int device) {
  // Reading one byte tells a name that opens but cannot be read (a
  // directory) from an empty file.
  unsigned char first;
  const bool empty = std::fread(&first, 1, 1, file) == 0;
  const bool unreadable = std::ferror(file) != 0;
  long size = -1;
  if (!unreadable && std::fseek(file, 0, SEEK_END) == 0)
    size = std::ftell(file);
  std::fclose(file);
  if (unreadable || size < 0) {
    std::printf("File %s cannot be read: refused, nothing was sent.\n", filename);
    return false;
  }
  if (empty) {
    std::printf("File %s is empty: refused, nothing was sent.\n", filename);
    return false;
  }
  return imageSizeAcceptable(filename, size, device);
}

} // namespace

bool imageFileAcceptable(const char *filename, int device) {
  FILE *file = openUpdateFile(filename);
  if (!file) {
    std::printf("Unable to open file : %s\n", filename);
    return false;
  }
  // A load that fails once its file is open shows its time; so does a
  // refusal of the opened file.
  const DWORD opened = GetTickCount();
  const bool acceptable = openFileAcceptable(file, filename, device);
  if (!acceptable)
    printTime(opened, 0);
  return acceptable;
}

bool openImage(FlashImage *image, const char *filename, int device) {
  image->file = nullptr;
  image->size = 0;
  image->data = new (std::nothrow) unsigned char[IMAGE_BUFFER_SIZE];
  if (!image->data) {
    std::printf("Unable to allocate memory.\n");
    return false;
  }
  image->file = openUpdateFile(filename);
  if (!image->file) {
    std::printf("Unable to open file : %s\n", filename);
    closeImage(image);
    return false;
  }
  std::memset(image->data, ERASED_BYTE, IMAGE_BUFFER_SIZE);
  std::rewind(image->file);
  // One byte more than an image may hold tells a file that is too long.
  size_t got = std::fread(image->data, 1, IMAGE_MAX_SIZE + 1, image->file);
  // Only 0x0800-0x1FFF of a driver is ever sent: a longer one is cut.
  if (device == DRIVER_DEVICE && got > IMAGE_MAX_SIZE)
    got = IMAGE_MAX_SIZE;
  if (!imageSizeAcceptable(filename, static_cast<long>(got), device)) {
    closeImage(image);
    return false;
  }
  image->size = static_cast<DWORD>(got);
  std::printf("File Size : %d bytes\n", static_cast<int>(image->size));
  return true;
}

void closeImage(FlashImage *image) {
  if (image->file)
    std::fclose(image->file);
  image->file = nullptr;
  delete[] image->data;
  image->data = nullptr;
}

void drainPort() {
  unsigned char scratch[DRAIN_READ_SIZE];
  DWORD got = 0;
  while (portRead(scratch, DRAIN_READ_SIZE, got) && got > 0) {
  }
}

bool sendSetIspMode(IspWord mode, int device, DWORD start, DWORD count, DWORD wait) {
  IspWord msg[ISP_MAX_WORDS] = {ISP_SET_MODE,
                                mode,
                                static_cast<IspWord>(device),
                                static_cast<IspWord>(start & 0xFFFF),
                                static_cast<IspWord>(start >> 16),
                                static_cast<IspWord>(count & 0xFFFF),
                                static_cast<IspWord>(count >> 16)};
  IspWord answer[ISP_MAX_WORDS] = {};
  return sendISPCmd(msg, answer, wait);
}

bool sendStatusRequest(IspWord *request, IspWord *answer) {
  std::memset(request, 0, ISP_MAX_WORDS * sizeof(IspWord));
  request[0] = ISP_MODE_STATUS_REQUEST;
  return sendISPCmd(request, answer, 0);
}

bool askDeviceStatus(IspWord *request, IspWord *answer) {
  if (sendStatusRequest(request, answer))
    return true;
  std::printf("Unable to send cmd.\n");
  return false;
}

bool resynchronise(const IspWindow &window, DWORD addr, ResyncReport report, bool spent) {
  IspWord request[ISP_MAX_WORDS];
  IspWord answer[ISP_MAX_WORDS] = {};
  if (!askDeviceStatus(request, answer))
    return false;
  std::printf("ISP Mode Status Request ...\n");
  if (report == ResyncReport::MESSAGES || report == ResyncReport::MESSAGES_AND_ADDRESS) {
    printMsg(request);
    printMsg(answer);
  }
  if (spent)
    return false;
  if (report == ResyncReport::MESSAGES_AND_ADDRESS)
    std::printf("Addr - 0x%08x\n", static_cast<unsigned>(addr));
  if (report != ResyncReport::BRIEF)
    std::printf("Setting ISP Mode...\n");
  return sendSetIspMode(window.mode, window.device, addr, window.end - addr, 0);
}

void packWords(IspWord *words, const unsigned char *bytes, int wordCount) {
  for (int k = 0; k < wordCount; ++k)
    words[k] = static_cast<IspWord>(bytes[2 * k] | bytes[2 * k + 1] << 8);
}

bool progressDue(DWORD step, DWORD addr, DWORD *lines) {
  if (step * *lines >= addr)
    return false;
  ++*lines;
  return true;
}

void pressAKey() {
  std::printf("Press a key to continue ... ");
  readKey();
}

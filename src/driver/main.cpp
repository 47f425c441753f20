// The updater's entry: command line, port, probe, identification, file
// checks and dispatch of the one job of the run.
#include "boot/FDT.h"
#include "boot/microMode.h"
#include "driver/commandLine.h"
#include "driver/connect.h"
#include "driver/identify.h"
#include "driver/information.h"
#include "driver/jobs.h"
#include "driver/oldFirmwareKey.h"
#include "driver/scan.h"
#include "link/jobResult.h"
#include "link/notice.h"
#include "link/port.h"
#include "link/recovery.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The run's exit status.
const int EXIT_DONE = 0;    // the job reached its success ending
const int EXIT_FAILED = 1;  // the job failed, or the card reported failure
const int EXIT_REFUSED = 2; // words, file names or files refused
const int EXIT_NO_PORT = 3; // the port could not be opened or set up

const size_t WORD_SIZE = 100;      // port and job words: 99 and the zero
const size_t FILE_NAME_SIZE = 256; // file name: 255 and the zero

const DWORD PROBE_WAIT_MS = 1000;
const DWORD PROBE_PAUSE_MS = 100;
const int PROBE_PASSES = 2;
const DWORD PROBE_READ_SIZE = 50;
const DWORD FIRMWARE_MIN_REPLY = 11; // running firmware answers this much
const DWORD BOOT_SWITCH_PAUSE_MS = 10;

// The usage text and the job-word error before the card is known: the
// variant that holds on every model.
const bool ANY_MODEL = false;

const size_t DEVICE_PATH_SIZE = 251; // a device path: 250 and the zero

// False, with a message, when `word` does not fit a buffer of `size`.
bool wordFits(const char *word, size_t size, const char *what) {
  if (std::strlen(word) < size)
    return true;
  std::printf("The %s is too long (at most %d characters).\n", what, static_cast<int>(size - 1));
  return false;
}

// Upper-cases a command-line word into a 100-character buffer; a longer
// word is refused with a message.
bool takeWord(const char *word, char *into, const char *what) {
  if (!wordFits(word, WORD_SIZE, what))
    return false;
  copyUpperCased(word, into);
  return true;
}

// Names the port: its name as typed and the full name it opens by.
void namePort(const char *name) {
  Port &port = thePort();
  std::strcpy(port.name, name);
  std::snprintf(port.fullName, sizeof port.fullName, "\\\\.\\%.250s", port.name);
}

// The port word: a device path, taken as typed, or COMn, upper-cased into
// `argvU`. False, with a message, when it names no port.
bool takePortWord(const char *word, char *argvU) {
  if (isDevicePath(word)) {
    if (!wordFits(word, DEVICE_PATH_SIZE, "port word"))
      return false;
    namePort(word);
    return true;
  }
  if (!takeWord(word, argvU, "port word"))
    return false;
  if (std::strncmp(argvU, "COM", 3) != 0) {
    std::printf("Must be COMXX\n");
    return false;
  }
  namePort(argvU);
  return true;
}

void exitPath() {
  closePort();
  std::printf("\nExit updater\n");
}

// The port went away under a job (an adapter pulled out): the job cannot
// go on, so the run ends here as failed instead of waiting out its time
// limits on failing calls.
void endJobOnPortGone() {
  const DWORD error = GetLastError();
  const char *name = lastErrorName();
  char why[40];
  if (*name != '\0')
    std::snprintf(why, sizeof why, "%s", name);
  else
    std::snprintf(why, sizeof why, "error %lu", static_cast<unsigned long>(error));
  notice("%s (%s) has gone (%s): the job stopped there\n", thePort().name, connectedDevice(), why);
  printCardStateAfterFailure();
  exitPath();
  std::exit(EXIT_FAILED);
}

// Writes up to two 0x00 bytes and returns the count of the last reply:
// running firmware answers at length, a boot program waiting for a reboot
// briefly, a micro in boot mode not at all.
DWORD probeBootProgram() {
  BYTE ReadBuf[100];
  DWORD nbBytes = 0;
  const DWORD deadline = GetTickCount() + PROBE_WAIT_MS;
  for (int pass = 0; pass < PROBE_PASSES; ++pass) {
    BYTE cmd = 0x00;
    DWORD sent = 0;
    if (!portWrite(&cmd, 1, sent))
      break;
    Sleep(PROBE_PAUSE_MS);
    if (!portRead(ReadBuf, PROBE_READ_SIZE, nbBytes))
      nbBytes = 0;
    if (pastDeadline(deadline))
      break;
  }
  return nbBytes;
}

bool switchToBootRate() {
  if (!setBaudRate(BOOT_BAUD_RATE)) {
    std::printf("\nERROR");
    return false;
  }
  return true;
}

// The MICRO job on a card whose micro waits in boot mode: program it
// directly; a card that still runs an old firmware is first handed over
// with the key sequence and programmed on a second attempt. True when the
// flash was written.
bool bootModeFallback() {
  std::printf("\nFlash is not programmed (BOOT MODE) or using old firmware version");
  Sleep(BOOT_SWITCH_PAUSE_MS);
  if (!switchToBootRate())
    return false;
  std::printf("\nMICRO Mode OK...Now starting the FDT programm...\n");
  const DWORD begin = GetTickCount();
  const BootRunResult check = FDT();
  if (check != BootRunResult::NoBootProgram) {
    printTime(begin, 0);
    return check == BootRunResult::FlashWritten;
  }
  if (!setBaudRate(LINE_BAUD_RATE)) {
    std::printf("\nERROR");
    return false;
  }
  for (int k = 0; k < 4; ++k)
    if (!sendOldFirmwareKey(k))
      return false;
  std::printf("\nYou are using an old firmware...Now programming the FLASH ...\n"
              "Be sure to upload the most recent firmware ");
  if (!switchToBootRate())
    return false;
  return FDT() == BootRunResult::FlashWritten;
}

// Identifies the card (repeating while it is silent or unrecognised),
// handles an old firmware, and prints the banner. Returns the model, or 0
// when the run ends here with `*status`.
int identifyCard(bool micro, int *status) {
  int model;
  for (;;) {
    model = DevType();
    if (model == DEVTYPE_NO_COMMUNICATION)
      reportSilentCard();
    else if (model != DEVTYPE_UNKNOWN_MODEL)
      break;
  }
  *status = EXIT_FAILED;
  if (model == DEVTYPE_GAVE_UP) {
    reportConnectTimeUp();
    *status = EXIT_NO_PORT;
    return 0;
  }
  if (model == DEVTYPE_OLD_FIRMWARE) {
    if (micro)
      sendOldFirmwareKey(3);
    else
      std::printf("\nUnsupported feature...Update the firmware version");
    return 0;
  }
  if (model < 1 || model > MODEL_COUNT)
    return 0;
  printBanner(model);
  return model;
}

bool modelAcceptsEdid(int model) { return model == 1 || model == 4; }

// What the command line asks for, checked before the port opens.
struct Request {
  char jobWord[WORD_SIZE] = ""; // upper-cased; "" when none was given
  char fileName[FILE_NAME_SIZE] = "";
  unsigned short device = 0; // VIPER and VERIFY: from the file name
};

// Refuses, before the port opens, what no card can make valid: a job word
// that is none of the nine, a job without its file word, a file name of the
// wrong form, a missing file, the MICRO job's bad files. Each gets the text
// the run would print for it after identification. Without a job word the
// run identifies the card and ends at the usage text, as before.
bool checkRequest(int argc, char *argv[], Request *request) {
  if (argc >= 3 && !takeWord(argv[2], request->jobWord, "job word"))
    return false;
  if (request->jobWord[0] == '\0')
    return true;
  if (!wordCountRunsJob(argc, request->jobWord)) {
    printUsage(ANY_MODEL);
    return false;
  }
  const Job job = jobOfWord(request->jobWord);
  if (job == JOB_NONE) {
    printJobWordError(ANY_MODEL);
    return false;
  }
  const char *fileWord = jobTakesFile(job) ? argv[3] : "";
  if (!wordFits(fileWord, FILE_NAME_SIZE, "file name"))
    return false;
  std::strcpy(request->fileName, fileWord);
  return fileTest(job, request->fileName, &request->device);
}

// Everything after the port is open; returns the run's exit status.
int runOnOpenPort(int argc, const Request &request) {
  const bool micro = jobOfWord(request.jobWord) == JOB_MICRO;
  startConnectWait();
  const DWORD nbBytes = probeBootProgram();
  if (micro && nbBytes < FIRMWARE_MIN_REPLY) {
    if (nbBytes > 0) {
      std::printf("\nThe BOOT program needs to be reboot  -> Please reboot the card and try again");
      return EXIT_FAILED;
    }
    onPortGone(endJobOnPortGone);
    return bootModeFallback() ? EXIT_DONE : EXIT_FAILED;
  }

  // A card that cannot take the job (an old firmware) ends the run here.
  int status = EXIT_FAILED;
  const int model = identifyCard(micro, &status);
  if (model == 0)
    return status;
  const bool acceptsEdid = modelAcceptsEdid(model);

  if (!wordCountRunsJob(argc, request.jobWord)) {
    printUsage(acceptsEdid);
    return EXIT_REFUSED;
  }
  // Only EDID on a model without one can still be refused here.
  const Job job = lookupJob(request.jobWord, acceptsEdid);
  if (job == JOB_NONE)
    return EXIT_REFUSED;
  UpdateSet found{};
  if (job == JOB_ALL && !scanUpdateFiles(acceptsEdid, &found))
    return EXIT_REFUSED;
  onPortGone(endJobOnPortGone);
  const int result = runJob(job, {request.fileName, request.device, found});
  onPortGone(nullptr);
  if (result == JOB_REFUSED)
    return EXIT_REFUSED;
  return result == 0 ? EXIT_DONE : EXIT_FAILED;
}

} // namespace

int main(int argc, char *argv[]) {
  if (answeredWithoutCard(argc, argv))
    return EXIT_DONE;
  int status = EXIT_REFUSED;
  char argvU[WORD_SIZE];
  Request request;
  if (takePortWord(argv[1], argvU) && readConnectTimeout() && checkRequest(argc, argv, &request))
    status = openPort(false) ? runOnOpenPort(argc, request) : EXIT_NO_PORT;
  if (status == EXIT_FAILED)
    printCardStateAfterFailure();
  exitPath();
  return status;
}

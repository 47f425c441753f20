#include "driver/identify.h"

#include "boot/microMode.h"
#include "channel/command.h"
#include "driver/connect.h"
#include "driver/oldFirmwareKey.h"
#include "link/port.h"

#include <cctype>
#include <cstdio>
#include <cstring>

int cardEdition = 'E';
char RDVersion[10];
const char *const cardModelName[MODEL_COUNT] = {"DVI TO SDI",  "DL-SDI TO DVI",  "SL-SDI TO DVI",
                                                "HDMI TO SDI", "DL-SDI TO HDMI", "SL-SDI TO HDMI"};

namespace {

const char VERSION_QUERY[] = "#DEVERSION\r";
const char TYPE_QUERY[] = "#DEVTYPE\r";
const int VERSION_ATTEMPTS = 15;
const int EDITION_POS = 11;
const int VERSION_WORD_POS = 13;
const char UNKNOWN_VERSION = 'E';

const char *const MODEL_ANSWERS[MODEL_COUNT] = {
    "#DEVTYPE DVITOSDI\r",  "#DEVTYPE SDITODVI\r",  "#DEVTYPE SL-SDITODVI\r",
    "#DEVTYPE HDMITOSDI\r", "#DEVTYPE SDITOHDMI\r", "#DEVTYPE SL-SDITOHDMI\r"};

const DWORD KEY_PAUSE_MS = 500;
const DWORD KEY_REPLY_SIZE = 10;
const DWORD OLD_FIRMWARE_MIN_REPLY = 5;

const int ANSWER_SIZE = 60;
const int MSG_SIZE = 50;

// False when the connect time ran out before an answer.
bool askVersion(char *answer) {
  char msg[MSG_SIZE];
  std::memset(answer, 0, ANSWER_SIZE);
  std::strcpy(msg, VERSION_QUERY);
  for (int attempt = 0; attempt < VERSION_ATTEMPTS; ++attempt) {
    if (connectTimeUp())
      return false;
    const bool answered = SendCmd(msg, 11, answer);
    if (GetLastError() != 0 && !reopenOrWaitForPort())
      return false;
    if (answered)
      break;
  }
  return true;
}

int modelOf(const char *answer) {
  for (int m = 0; m < MODEL_COUNT; ++m)
    if (std::strcmp(answer, MODEL_ANSWERS[m]) == 0)
      return m + 1;
  return 0;
}

} // namespace

void parseVersion(const char *answer) {
  if (std::strncmp(answer, "#DEVERSION", 10) != 0) {
    cardEdition = UNKNOWN_VERSION;
    RDVersion[0] = UNKNOWN_VERSION;
    return;
  }
  // A short line has no edition digit or version word: read nothing past
  // its end.
  const size_t length = std::strlen(answer);
  cardEdition = (length > EDITION_POS ? answer[EDITION_POS] : '\0') - '0';
  const char *word = answer + (length > VERSION_WORD_POS ? VERSION_WORD_POS : length);
  while (*word && std::isspace(static_cast<unsigned char>(*word)))
    ++word;
  // The version word keeps its first 9 characters at most.
  size_t n = 0;
  while (n < sizeof RDVersion - 1 && word[n] && !std::isspace(static_cast<unsigned char>(word[n])))
    ++n;
  std::memcpy(RDVersion, word, n);
  RDVersion[n] = '\0';
}

bool sendOldFirmwareKey(int index) {
  BYTE cmd = OLD_FIRMWARE_KEY[index];
  DWORD sent = 0;
  if (!portWrite(&cmd, 1, sent) || sent != 1)
    return false;
  Sleep(KEY_PAUSE_MS);
  // The last byte hands the old firmware's micro over to boot mode; only
  // the MICRO job sends it.
  if (index == OLD_FIRMWARE_TEST_BYTES)
    noteMicroChange(ADVICE_RUN_AGAIN_IN_BOOT_MODE,
                    "the micro waits in its boot program, its old firmware still in flash");
  return true;
}

int DevType() {
  char answer[ANSWER_SIZE];
  char msg[MSG_SIZE];
  std::printf("\nNow communicating with the card to obtain version information...");
  if (!askVersion(answer) || connectTimeUp())
    return DEVTYPE_GAVE_UP;
  answer[ANSWER_SIZE - 1] = '\0';
  parseVersion(answer);

  std::memset(answer, 0, ANSWER_SIZE);
  std::memset(msg, 0, MSG_SIZE);
  std::strcpy(msg, TYPE_QUERY);
  if (SendCmd(msg, 9, answer)) {
    int model = modelOf(answer);
    if (model != 0) {
      std::printf("OK");
      return model;
    }
    std::printf("\nERROR CARD MODEL UNKNOWN");
    return DEVTYPE_UNKNOWN_MODEL;
  }

  for (int k = 0; k < OLD_FIRMWARE_TEST_BYTES; ++k)
    if (!sendOldFirmwareKey(k))
      return DEVTYPE_NO_COMMUNICATION;
  BYTE tmp[KEY_REPLY_SIZE];
  DWORD nbBytes = 0;
  if (!portRead(tmp, KEY_REPLY_SIZE, nbBytes))
    nbBytes = 0;
  if (nbBytes >= OLD_FIRMWARE_MIN_REPLY) {
    std::printf("\nYou are using an old firmware version...");
    return DEVTYPE_OLD_FIRMWARE;
  }
  std::printf("\nError no communication with the device");
  return DEVTYPE_NO_COMMUNICATION;
}

void printBanner(int model) {
  const int cr = 13;
  const char *name = cardModelName[model - 1];
  std::printf("\r\n* * * * * * * * * * * * * * * * * * * * * * * * * * * * *\n");
  if (cardEdition == PLUS_EDITION)
    std::printf("\t\t\t\t\t\t\t*%c*\t\t\t%s PLUS\n", cr, name);
  else
    std::printf("\t\t\t\t\t\t\t*%c*\t\t\t%s\n", cr, name);
  std::printf("*\t\t\t\t\t\t\t*\n");
  std::printf("\t\t\t\t\t\t\t*%c*\tUpdater Version   -> %d.%d\n", cr, UPDATER_MAJOR, UPDATER_MINOR);
  std::printf("*\t\t\t\t\t\t\t*\n");
  if (RDVersion[0] == UNKNOWN_VERSION)
    std::printf("\t\t\t\t\t\t\t*%c*\tSoftware Version  -> Unknown\n", cr);
  else
    std::printf("\t\t\t\t\t\t\t*%c*\tSoftware Version  -> %s\n", cr, RDVersion);
  std::printf("* * * * * * * * * * * * * * * * * * * * * * * * * * * * *\n");
}

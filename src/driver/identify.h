// Card identification: firmware version, edition and model, and the banner.
#pragma once

// DevType results besides the model numbers 1 to 6.
const int DEVTYPE_NO_COMMUNICATION = 20;
const int DEVTYPE_OLD_FIRMWARE = 21;
const int DEVTYPE_UNKNOWN_MODEL = 99;
// UPDATER_CONNECT_TIMEOUT ran out before the card answered.
const int DEVTYPE_GAVE_UP = 30;

// The updater's version in the banner ("Updater Version   -> 1.11").
const int UPDATER_MAJOR = 1;
const int UPDATER_MINOR = 11;

const int PLUS_EDITION = 2;
const int MODEL_COUNT = 6;

extern int cardEdition;
extern char RDVersion[10];
extern const char *const cardModelName[MODEL_COUNT];

// Asks "#DEVERSION\r" and "#DEVTYPE\r"; returns the model number (1 to 6) or
// one of the codes above.
int DevType();

// Takes the edition and version word from a "#DEVERSION" answer line into
// cardEdition and RDVersion, or marks them unknown when the answer is of
// another kind.
void parseVersion(const char *answer);

// The banner for model `model` (1 to 6) with the edition and version.
void printBanner(int model);

// Writes one key byte of the old-firmware key sequence, then pauses 500 ms.
// False when the write failed (no pause then).
bool sendOldFirmwareKey(int index);

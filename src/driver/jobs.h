// The nine jobs that dispatch calls, and what main needs of the micro's
// boot-mode programming.
#pragma once

#include "platform/platform.h"

int ProgramFPGA(const char *fileName);
int ProgramViper(int device, const char *fileName);
void ProgramMicro();
int ProgramEDID(const char *fileName);
void ProgramALL(unsigned char device1Present, unsigned char device5Present,
                unsigned char fpgaPresent, unsigned char edidPresent);
int Remote(const char *fileName);
int verify(const char *fileName, int device);
int vxpStatus();
int ProgramGamma(const char *fileName);

// Boot-mode flash programming; 55 when the boot program never answered the
// first synchronisation (a card that still runs an old firmware).
const int FDT_NO_BOOT_PROGRAM = 55;
int FDT(HANDLE port, DCB dcb, COMMTIMEOUTS timeouts, const char *portPath);

// Set by main when it programs a card that was found in boot mode.
extern int boot_on;

// Checks the update files of the MICRO job before anything is sent to the
// card; prints what is wrong and returns false for a set that must not be
// used.
bool microFilesUsable();

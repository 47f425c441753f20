// The last stage of the boot-mode run: appMain.mot into the micro's flash.
#pragma once

#include "boot/bootLink.h"

// The status inquiry that both the run and the flash write send.
const BYTE STATUS_INQUIRY = 0x4F;

// Writes the head (flash 0x000-0x3FF) and the body (from 0x800) of
// appMain.mot in 128-byte programming blocks. True when every block went in.
bool writeFlashImage(BootLink &link);

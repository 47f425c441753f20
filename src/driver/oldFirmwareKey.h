// The old-firmware key sequence.
//
// A card that still runs an old firmware does not understand "#DEVTYPE\r".
// The updater then writes the first three key bytes, one at a time with a
// 500 ms pause after each: an old firmware answers them with 5 bytes or more.
// The fourth byte tells the old firmware to hand its micro over to boot mode.
//
// The virtual card (cardsim) includes this header, so both ends use the same
// bytes. The README lists them.
#pragma once

static const unsigned char OLD_FIRMWARE_KEY[4] = {0x1B, 0xA5, 0x5A, 0xB7};
// The first three bytes test for an old firmware; the last hands over.
static const int OLD_FIRMWARE_TEST_BYTES = 3;

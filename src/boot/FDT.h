// The boot-mode run of the micro (FDT), and the boot-mode protocol it
// speaks, from the host's side. cardsim's boot program (sim/BootProgram.h)
// is the card's side.
//
// The card's SH7144 micro has a boot program built into the chip. When the
// micro is restarted in boot mode, the boot program owns the serial line at
// 9600 bit/s and takes a small program, the micro kernel, into the chip's
// memory. The micro kernel speaks a command protocol and takes the main
// kernel; the main kernel takes the write kernel, and the write kernel
// writes appMain.mot into the micro's flash. The kernels are opaque files:
// the run sends them as they are.
//
// Conventions of the whole run:
//   - Each byte goes out in a write of its own; each read asks for one
//     byte, except the 5-byte replies and the drain's reads.
//   - The acknowledgement is ACK (0x06). A wait for it, or for 0xAA, first
//     presets the receive slot ReadBuf[0] to SLOT_PRESET (0x66), which no
//     answer is, so a byte left from an earlier step never counts
//     (bootLink.h).
//   - A kernel command with a length byte ends with a sum byte: all its
//     bytes add up to 0 modulo 256. The kernel's 5-byte replies follow the
//     same rule (expectedReplySum).
//   - A wait is the millisecond tick plus a time limit; a read that finds
//     nothing returns after about 1 ms, so waits poll.
//   - A failed write, a wait that runs out or a wrong answer prints its
//     console text and ends the run; nothing is undone.
//
// Before the run, the MICRO job on a running card (microMode.cpp) sends
// "#MICROMODE\r" and, on any answer, "#MICRO\r": the firmware restarts the
// micro in boot mode, and the host drops to BOOT_BAUD_RATE (9600 bit/s).
//
// With the boot program, at 9600 bit/s (bootSync.cpp, kernelDownloads.cpp):
//   1. Synchronisation. The host sends SYNC_BYTE (0x00) again and again;
//      the boot program answers 0x00 once its bit rate is in step. The
//      first SYNC_WINDOW_MS (10 s) window that runs out in the process ends
//      the run with NoBootProgram: the card may still run an old firmware.
//      Later windows print their advice and go on.
//   2. Confirmation. The host sends CONFIRM_BYTE (0x55); the boot program
//      answers CONFIRM_REPLY (0xAA) within CONFIRM_WAIT_MS (2 s), or the
//      host starts again at step 1. After CONFIRM_RETRIES + 1 expired waits
//      the run ends.
//   3. Micro kernel length. MICRO_KERNEL, up to KERNEL_MAX_SIZE bytes: the
//      host sends the high byte of its length, echoed within ECHO_WAIT_MS
//      (5 s)...
//   4. ...and the low byte, echoed likewise.
//   5. Micro kernel. Every byte is echoed within ECHO_WAIT_MS and must come
//      back unchanged.
//   6. Erase. The whole kernel erases the micro's flash: from here on the
//      card starts in its boot program until the flash is written whole.
//      The boot program answers CONFIRM_REPLY (0xAA) within ERASE_WAIT_MS
//      (5 s)...
//   7. ...then the erase result: ERASE_FAILED (0xFF) ends the run; any other
//      byte, or none within ERASE_RESULT_WAIT_MS (100 ms), lets it go on.
//
// With the micro kernel's command protocol (kernelSetup.cpp):
//   8. Programming unit. The host sends UNIT_INQUIRY (0x27); the reply is
//      UNIT_REPLY (0x37 0x02 0x00 0x80 0x47: blocks of 128 bytes) within
//      UNIT_REPLY_WAIT_MS (5 s).
//   9. Drain. After COMMAND_PAUSE_MS (1 s), reads of up to DRAIN_READ_SIZE
//      bytes until one brings nothing, within DRAIN_WAIT_MS (5 s).
//  10. Device selection: DEVICE_SELECTION (0x10, length 4, the device code
//      "0410", sum), answered by ACK within ACK_WAIT_MS (7 s). Each command
//      below is answered in the same way, unless said otherwise.
//  11. Clock mode: after COMMAND_PAUSE_MS, CLOCK_MODE_SELECTION (0x11,
//      length 1, mode 3, sum), CLOCK_BYTE_PAUSE_MS (1 s) after each byte.
//  12. New bit rate: after COMMAND_PAUSE_MS, NEW_BIT_RATE (0x3F, length 7,
//      1152 x 100 bit/s, input clock 11.06 MHz, ratios 4 and 2, sum).
//  13. Both ends move to LINE_BAUD_RATE (115200 bit/s). After
//      RATE_SWITCH_PAUSE_MS (50 ms) the host sends ACK, and the kernel
//      answers ACK at the new rate.
//  14. Programming state: after COMMAND_PAUSE_MS, PROGRAMMING_STATE (0x40).
//
// The main and write kernels, at 115200 bit/s (kernelDownloads.cpp):
//  15. Main kernel. MAIN_KERNEL's length in four bytes, most significant
//      first, LENGTH_BYTE_PAUSE_MS (10 ms) after each; after
//      MAIN_KERNEL_PAUSE_MS (100 ms) its bytes, not echoed; after
//      MAIN_KERNEL_SUM_PAUSE_MS (2 s) the sum byte, 0 - (MAIN_KERNEL_SUM_BASE
//      (0x75) + the kernel's bytes). ACK within MAIN_KERNEL_ACK_WAIT_MS (3 s).
//  16. Status: after COMMAND_PAUSE_MS, STATUS_INQUIRY (0x4F); the reply is
//      MAIN_KERNEL_STATUS (0x5F 0x02 0x03 0x00) and its sum byte, within
//      STATUS_WAIT_MS (10 s).
//  17. User area programming: after COMMAND_PAUSE_MS, USER_AREA_PROGRAMMING
//      (0x43).
//  18. Write kernel. WRITE_KERNEL's length and bytes as for the main kernel,
//      without the pause before the bytes; after WRITE_KERNEL_SUM_PAUSE_MS
//      (10 ms) the sum byte by WRITE_KERNEL_SUM_BASE (0x9A). A missing ACK
//      is only a warning.
//
// The flash write, with the write kernel (flashWrite.cpp):
//  19. Head. The first HEAD_AREA_SIZE (1024) data bytes of MICRO_FILE in
//      eight programming blocks at 0x000 ... 0x380. A block is
//      PROGRAMMING_BLOCK (0x50), four address bytes (most significant
//      first), HEAD_BLOCK_SIZE (128) data bytes and a sum byte, answered by
//      ACK within BLOCK_ACK_WAIT_MS (7 s). A head block pauses
//      HEAD_HEADER_PAUSE_MS (5 ms) after its command and each address byte.
//  20. Status: after STATUS_PAUSE_MS (1 s), STATUS_INQUIRY; the reply is
//      WRITE_KERNEL_STATUS (0x5F 0x02 0x04 0x00), within STATUS_WAIT_MS. A
//      wrong sum byte is only a warning here.
//  21. Body. The rest of the data up to the stop record, in blocks from
//      BODY_FLASH_ADDRESS (0x800) upwards, the last filled up with
//      ERASED_BYTE (0xFF). The card must then be rebooted to start the new
//      firmware.
#pragma once

#include "platform/platform.h"

// The MICRO job's files in the working directory: the firmware and the
// three kernels the boot program and its kernels download.
const char MICRO_FILE[] = "appMain.mot";
const char MICRO_KERNEL[] = "uGen7144.cde";
const char MAIN_KERNEL[] = "Genm7144.cde";
const char WRITE_KERNEL[] = "Genw7144.cde";
// The most of a kernel file that is sent; a longer kernel is refused.
const unsigned long KERNEL_MAX_SIZE = 4000;

// How a boot-mode run ended.
enum class BootRunResult {
  FlashWritten, // appMain.mot is written whole
  // The boot program never answered the first synchronisation window of
  // the process: the card may still run an old firmware. Only the first
  // run of a process can end so.
  NoBootProgram,
  Failed, // every other ending
};

// Runs the boot-mode protocol above on the run's port (link/port.h), set to
// 9600 bit/s before; the run moves it to 115200 bit/s at step 13.
BootRunResult FDT();

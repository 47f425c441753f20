// A complete, valid set of update files for the virtual card, written by
// "cardsim --write-samples DIR": the files of the full update (Device1.bin,
// Device5.bin, their ISP drivers FDriver.bin and SFDriver.bin, fpga.xsvf,
// EDID.bin) and samples for the single-file jobs (gamma.csv, remote.txt).
//
// The contents are made here, deterministically:
//   - device images and drivers: pseudo-random bytes behind a short text
//     header, sizes within what the video processor's flash and driver
//     memory take (Device5.bin is well over its 0x100-byte header window);
//   - fpga.xsvf: a well-formed XSVF stream that configures an FPGA over
//     JTAG (IDCODE check, JPROGRAM, CFG_IN, the configuration bits in one
//     XSDR, JSTART, BYPASS), with the XTRST and XWAITSTATE records that SVF
//     converters emit, ending with XCOMPLETE;
//   - EDID.bin: an EDID 1.3 base block for a 1920x1080 display with a
//     CTA-861 extension, both blocks with their checksums;
//   - gamma.csv: a gamma 2.2 table, 1024 lines of "R,G,B" after a comment;
//   - remote.txt: a script of the virtual card's default script commands,
//     with a message and a pause; the card acknowledges every command.
#pragma once

#include "Bytes.h"

#include <string>
#include <utility>
#include <vector>

namespace cardsim {

// Every sample file as (name, content).
std::vector<std::pair<std::string, Bytes>> sampleFiles();

// Writes them into `dir` (created if missing); throws std::runtime_error.
void writeSamples(const std::string &dir);

Bytes sampleXsvf();
Bytes sampleEdid();
std::string sampleGamma();

} // namespace cardsim

// The firmware commands that take uploads and scripts from the host:
//   "#FPGA 1"                 plays the XSVF stream the host serves (XsvfPlayer)
//   "#EDID 1", "#EDID 2"      128 or 256 bytes into the EDID memory (AckedUpload)
//   "#GAMMA 3 0"              the 1024 x 3 gamma table (AckedUpload)
//   script commands           the configured words answered "#ACK"; every other
//                             unknown command keeps the firmware's "#NACK"
// They are added to the firmware's command table by installUploads().
//
// Record: edid.bin (the EDID received), gamma.bin (the 6144 table bytes as
// received) and gamma.csv (the table as "R,G,B" lines), fpga.bin; see
// AckedUpload.h and XsvfPlayer.h for the result values.
//
// The chatter=MS fault makes the card send junk bytes (no protocol marker)
// for MS milliseconds right after it answered "#DEVTYPE", so a job that
// starts after identification finds input still arriving.
#pragma once

#include "Faults.h"
#include "Firmware.h"
#include "Link.h"
#include "Outbox.h"
#include "Record.h"

#include <set>
#include <string>

namespace cardsim {

struct UploadSetup {
  // Keys of the script commands answered "#ACK".
  std::set<std::string> scriptCommands = {"BRIGHTNESS", "CONTRAST", "SATURATION", "HUE",
                                          "SHARPNESS",  "INPUT",    "OUTPUT",     "SAVE"};
};

// Parses "WORD,WORD,..." (or "none") into command keys; throws
// std::invalid_argument for an empty word.
std::set<std::string> parseScriptCommands(const std::string &list);

constexpr int EDID_BLOCK = 128;
constexpr int GAMMA_VALUES = 3072;
constexpr Millis CHATTER_GAP{2};
constexpr Byte CHATTER_BYTE = 'n';

void installUploads(Firmware &firmware, const UploadSetup &setup, Outbox &outbox, Transmitter &line,
                    const Faults &faults, Record &record);

// Puts what the uploads of an earlier run left in `dir` (files and results)
// into the record, where an upload of this run replaces them.
void keepUploads(const std::string &dir, Record &record);

// The gamma table bytes (two per value, high byte first) as "R,G,B" lines.
std::string gammaCsv(const Bytes &data);

} // namespace cardsim

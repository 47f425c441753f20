#include "CardRig.h"
#include "driver/oldFirmwareKey.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

const std::string TYPE = "#DEVTYPE DVITOSDI\r";
const std::string VERSION = "#DEVERSION 1 2.05\r";

std::string key(int i) { return std::string(1, static_cast<char>(OLD_FIRMWARE_KEY[i])); }

struct CommandCase {
  const char* name;
  std::vector<std::string> faults;
  std::vector<Chunk> chunks;
  std::string answers;
};

// How the firmware parses the host's bytes, and what its faults do to the answers.
TEST(Firmware, AnswersCommandsAsParsed) {
  const std::string zero(1, '\0');
  const std::vector<CommandCase> cases = {
      {"junk, split chunks, NUL", {}, {{"xy\x7f#DEV"}, {std::string("TY\0PE", 5)}, {"\r"}}, TYPE},
      {"# restarts", {}, {{"#DEV#DEVERSION\r"}}, VERSION},
      {"refused words and counts", {}, {{"#FROB 1\r#FPGA 2\r#EDID 3\r#EDID\r#GAMMA 3 1\r"}},
       "#NACK\r#NACK\r#NACK\r#NACK\r#NACK\r"},
      {"script words, lone CR, junk CR", {}, {{"#BRIGHTNESS 50\r#save\r\rjunk\r"}}, "#ACK\r#ACK\r\r"},
      {"micro commands", {}, {{"=MP\r=MR\r=MA\r=ME\r=MQ\r=M\r"}}, "=M*=M*=M*=M*=M~=M~"},
      {"garbled byte spoils its command", {},
       {{"#DEVTYPE\r", true}, {"#DEV"}, {"T", true}, {"YPE\r"}, {zero, true}, {"#DEVTYPE\r"}}, TYPE},
      {"key bytes are noise", {}, {{key(0) + key(1) + key(2) + key(3) + "#DEVTYPE\r"}}, TYPE},
      {"silent", {"silent"}, {{zero + "#DEVTYPE\r=MP\r"}}, ""},
      {"silent-cmd", {"silent-cmd=devtype", "silent-cmd=MA"}, {{"#DEVTYPE\r=MA\r=MP\r#DEVERSION\r"}},
       "=M*" + VERSION},
      {"refuse, bad-status", {"refuse=MP", "bad-status=MR:q", "bad-status==ME:0x21"},
       {{"=MP\r=MR\r=ME\r=MA\r"}}, "=M~=Mq=M!=M*"},
      {"repeat-eq", {"repeat-eq"}, {{"=MP\r"}}, "==M*"},
      {"ack-silent", {"ack-silent=2"}, {{"=MP\r=MR\r=MA\r"}}, "=M*"},
      {"no-cr", {"no-cr=DEVTYPE"}, {{"#DEVTYPE\r"}}, "#DEVTYPE DVITOSDI"},
  };
  for (const CommandCase& c : cases) {
    CardRig rig(c.faults);
    EXPECT_EQ(rig.feed(c.chunks), c.answers) << c.name;
  }
}

TEST(OldFirmware, KeyBytesInOrderOutsideCommandsHandTheLineToTheBootProgram) {
  CardRig rig;
  rig.setup.firmware.oldFirmware = true;
  rig.setup.firmware.oldFirmwareReply = 3;
  EXPECT_EQ(rig.feed("#DEVTYPE\r#DEVERSION\r"), VERSION);  // the model question is ignored
  EXPECT_EQ(rig.feed("#X" + key(0) + "\r"), "#NACK\r");
  // Another byte between them breaks the sequence, and the handover byte
  // alone does nothing; a first key byte starts it over.
  EXPECT_EQ(rig.feed(key(0) + "x" + key(1) + key(3)).size(), 3u);
  EXPECT_EQ(rig.feed(key(0) + key(1) + key(0) + key(1) + key(2)).size(), 15u);
  EXPECT_EQ(rig.built().mode(), CardMode::Firmware);
  EXPECT_EQ(rig.feed(key(3)), "");
  EXPECT_EQ(rig.built().mode(), CardMode::Boot);
  EXPECT_EQ(rig.built().cardRate(), 9600);
  // At the firmware's rate the boot program takes nothing, not even 0x00.
  EXPECT_EQ(rig.feed(std::string("\0#DEVTYPE\r", 10), true), "");
}

}  // namespace
}  // namespace cardsim

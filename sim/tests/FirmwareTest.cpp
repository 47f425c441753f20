// The micro: its firmware's command parser, the old firmware's way into the
// boot program, the boot program and its kernels, and the faults' options.
#include "CardRig.h"
#include "driver/oldFirmwareKey.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

const std::string TYPE = "#DEVTYPE DVITOSDI\r";
const std::string VERSION = "#DEVERSION 1 2.05\r";
const std::string ACK = bytes({0x06});

std::string key(int i) { return std::string(1, static_cast<char>(OLD_FIRMWARE_KEY[i])); }

TEST(Faults, OptionsAreNormalisedOrRefusedWhole) {
  Faults faults;
  for (const char *option :
       {"noise", "silent-cmd=#devtype", "refuse==mp", "delay=40", "bad-status=MR:0x7e"})
    faults.add(option);
  EXPECT_EQ(faults.describe(), (std::vector<std::string>{"noise", "silent-cmd=DEVTYPE", "refuse=MP",
                                                         "delay=40", "bad-status=MR:~"}));
  EXPECT_EQ(faults.charFor("bad-status", "mr"), Byte('~'));
  // A part of the card that asks for a name the catalogue lacks is wrong.
  EXPECT_THROW((void)faults.has("nosie"), std::logic_error);
  EXPECT_THROW((void)faults.number("dealy"), std::logic_error);
  for (const char *option :
       {"frobnicate", "silent=1", "silent-cmd", "silent-cmd=", "delay=-5", "delay=5ms",
        "ack-silent=", "bad-status=MP", "bad-status=MP:ab", "bad-status=:q"}) {
    Faults refused;
    EXPECT_THROW(refused.add(option), FaultError) << option;
    EXPECT_TRUE(refused.empty()) << option;
  }
}

TEST(Firmware, AnswersCommandsAsParsed) {
  const std::string zero(1, '\0');
  // The card's faults, the host's chunks, the card's answers.
  const std::vector<std::tuple<std::vector<std::string>, std::vector<Chunk>, std::string>> cases = {
      {{}, {{"xy\x7f#DEV"}, {std::string("TY\0PE", 5)}, {"\r"}}, TYPE}, // junk before, NUL inside
      {{}, {{"#DEV#DEVERSION\r"}}, VERSION},                            // a '#' starts over
      {{},
       {{"#FROB 1\r#FPGA 2\r#EDID 3\r#EDID\r#GAMMA 3 1\r"}},
       "#NACK\r#NACK\r#NACK\r#NACK\r#NACK\r"},
      {{}, {{"=MP\r=MR\r=MA\r=ME\r=MQ\r=M\r"}}, "=M*=M*=M*=M*=M~=M~"},
      // A garbled byte spoils the command it falls into, and a probe.
      {{},
       {garbled("#DEVTYPE\r"), {"#DEV"}, garbled("T"), {"YPE\r"}, garbled(zero), {"#DEVTYPE\r"}},
       TYPE},
      {{},
       {{key(0) + key(1) + key(2) + key(3) + "#DEVTYPE\r"}},
       TYPE}, // a current firmware ignores the key
      {{"refuse=MP", "bad-status=MR:q", "bad-status==ME:0x21"},
       {{"=MP\r=MR\r=ME\r=MA\r"}},
       "=M~=Mq=M!=M*"},
  };
  for (const auto &[faults, chunks, answers] : cases)
    EXPECT_EQ(CardRig(faults).feed(chunks), answers) << escape(answers);
}

TEST(OldFirmware, KeyBytesInOrderOutsideCommandsHandTheLineToTheBootProgram) {
  CardRig rig;
  rig.setup.firmware.oldFirmware = true;
  rig.setup.firmware.oldFirmwareReply = 9;                // 3 bytes a key byte
  EXPECT_EQ(rig.feed("#DEVTYPE\r#DEVERSION\r"), VERSION); // the model question is ignored
  EXPECT_EQ(rig.feed("#X" + key(0) + "\r"), "#NACK\r");
  // Another byte between them breaks the sequence; the handover byte alone
  // does nothing; a first key byte starts it over.
  EXPECT_EQ(rig.feed(key(0) + "x" + key(1) + key(3)).size(), 3u);
  EXPECT_EQ(rig.feed(key(0) + key(1) + key(0) + key(1) + key(2)).size(), 15u);
  EXPECT_EQ(rig.built().mode(), CardMode::Firmware);
  EXPECT_EQ(rig.feed(key(3)), "");
  EXPECT_EQ(rig.built().mode(), CardMode::Boot);
  // At the firmware's rate the boot program takes nothing, not even 0x00.
  EXPECT_EQ(rig.feed(std::string("\0#DEVTYPE\r", 10), true), "");
}

// `block` and the byte that makes its sum 0 (mod 256).
std::string summed(const std::string &block) {
  unsigned sum = 0;
  for (unsigned char c : block)
    sum += c;
  return block + bytes({static_cast<int>(-sum)});
}

// Each step needs its exact bytes, its sum and, after a rate change, the new rate.
TEST(BootProgram, TakesOnlyWhatSumsRightAtItsRateAndWritesABlockOnce) {
  CardRig rig;
  rig.setup.startMode = CardMode::Boot;
  const std::string kernel = bytes({0, 0, 0, 2}) + "AB";
  const std::string block = summed(bytes({0x50, 0x00, 0x00, 0x08, 0x00}) + std::string(128, 'x'));
  const std::vector<std::pair<Chunk, std::string>> steps = {
      {garbled(bytes({0x00, 0x00})), ""}, // garbled bytes never synchronise
      {{bytes({0x00, 0x00})}, bytes({0x00})},
      {{bytes({0x55, 0x00, 0x04})}, bytes({0xAA, 0x00, 0x04})},
      {garbled("K"), "X"}, // the micro kernel is echoed as it arrived
      {{"ERN"}, "ERN" + bytes({0xAA, 0xAA})},
      {{bytes({0x27})}, bytes({0x37, 0x02, 0x00, 0x80, 0x47})},
      {{bytes({0x10, 0x04, 0x30, 0x34, 0x31, 0x30, 0x28})}, ""},
      {{bytes({0x10, 0x04, 0x30, 0x34, 0x31, 0x30, 0x27, 0x11, 0x01, 0x03, 0xEB})}, ACK + ACK},
      {{bytes({0x3F, 0x07, 0x04, 0x80, 0x04, 0x52, 0x02, 0x04, 0x02, 0xD8})},
       ACK}, // to 115200 bit/s
      {garbled(ACK), ""},
      {{ACK + bytes({0x40})}, ACK + ACK},
      {{kernel + bytes({0x07})}, ""},
      {{kernel + bytes({0x08})}, ACK}, // 0x75 + 'A' + 'B' + 0x08 = 0 (mod 256)
      {{bytes({0x4F, 0x43})}, bytes({0x5F, 0x02, 0x03, 0x00, 0x9C, 0x06})},
      {{bytes({0, 0, 0, 1}) + "C" + bytes({0x23, 0x4F})},
       bytes({0x06, 0x5F, 0x02, 0x04, 0x00, 0x9B})},
      {{block}, ACK},
  };
  for (const auto &[chunk, answer] : steps)
    EXPECT_EQ(rig.feed(chunk.bytes, chunk.garbled), answer) << escape(chunk.bytes);
  EXPECT_EQ(rig.built().bootProgram().flash()[0x800], 'x');
  EXPECT_EQ(rig.built().bootProgram().flash()[0x880], 0xFF);
  EXPECT_TRUE(rig.built().bootProgram().firmwareRuns());
  EXPECT_EQ(rig.feed(block), "");
  EXPECT_FALSE(rig.built().bootProgram().firmwareRuns()); // the last block was refused
}

} // namespace
} // namespace cardsim

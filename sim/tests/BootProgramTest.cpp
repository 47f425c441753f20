// The boot program and kernel model fed byte by byte.
#include "CardRig.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// A card in boot mode brought through the micro kernel (4 bytes).
struct BootRig : CardRig {
  BootRig() { setup.startMode = CardMode::Boot; }
  std::string toCommands() {
    std::string out = feed(bytes({0x00}));
    out += feed(bytes({0x00}));
    out += feed(bytes({0x55}));
    out += feed(bytes({0x00, 0x04}));
    out += feed("KERN");
    return out;
  }
};

TEST(BootProgram, SynchronisesOncePerBurstAndEchoesTheMicroKernel) {
  BootRig rig;
  const std::string answers = rig.toCommands();
  EXPECT_EQ(answers, bytes({0x00, 0xAA, 0x00, 0x04}) + "KERN" + bytes({0xAA, 0xAA}));
  EXPECT_EQ(rig.built().bootProgram().flash(), Bytes(BootProgram::FLASH_SIZE, 0xFF));
  EXPECT_TRUE(rig.record.hasEvent("boot erase"));
  EXPECT_FALSE(rig.built().bootProgram().firmwareRuns());
}

TEST(BootProgram, GarbledBytesNeverSynchroniseOrEchoTrue) {
  BootRig rig;
  EXPECT_EQ(rig.feed(bytes({0x00, 0x00}), true), "");
  rig.feed(bytes({0x00}));
  rig.feed(bytes({0x55}));
  rig.feed(bytes({0x00, 0x01}));
  EXPECT_NE(rig.feed("A", true), "A");
}

TEST(BootProgram, CommandsNeedTheirExactBytesAndSumsAndTheNewRate) {
  BootRig rig;
  rig.toCommands();
  EXPECT_EQ(rig.feed(bytes({0x27})), bytes({0x37, 0x02, 0x00, 0x80, 0x47}));
  EXPECT_EQ(rig.feed(bytes({0x10, 0x04, 0x30, 0x34, 0x31, 0x30, 0x28})), "");  // wrong sum
  EXPECT_EQ(rig.feed(bytes({0x10, 0x04, 0x30, 0x34, 0x31, 0x30, 0x27})), bytes({0x06}));
  EXPECT_EQ(rig.feed(bytes({0x11, 0x01, 0x03, 0xEB})), bytes({0x06}));
  EXPECT_EQ(rig.built().cardRate(), 9600);
  EXPECT_EQ(rig.feed(bytes({0x3F, 0x07, 0x04, 0x80, 0x04, 0x52, 0x02, 0x04, 0x02, 0xD8})), bytes({0x06}));
  EXPECT_EQ(rig.built().cardRate(), 115200);
  // A 0x06 still sent at 9600 arrives garbled and is not confirmed.
  EXPECT_EQ(rig.feed(bytes({0x06}), true), "");
  EXPECT_EQ(rig.feed(bytes({0x06})), bytes({0x06}));
  EXPECT_EQ(rig.feed(bytes({0x40})), bytes({0x06}));
  // Main kernel "AB": 0x75 + 0x41 + 0x42 + sum = 0 (mod 256).
  EXPECT_EQ(rig.feed(bytes({0, 0, 0, 2}) + "AB" + bytes({0x07})), "");  // wrong sum
  EXPECT_EQ(rig.feed(bytes({0, 0, 0, 2}) + "AB" + bytes({0x08})), bytes({0x06}));
  EXPECT_EQ(rig.feed(bytes({0x4F})), bytes({0x5F, 0x02, 0x03, 0x00, 0x9C}));
  EXPECT_EQ(rig.feed(bytes({0x43})), bytes({0x06}));
  // Write kernel "C": 0x9A + 0x43 + sum = 0.
  EXPECT_EQ(rig.feed(bytes({0, 0, 0, 1}) + "C" + bytes({0x23})), bytes({0x06}));
  EXPECT_EQ(rig.feed(bytes({0x4F})), bytes({0x5F, 0x02, 0x04, 0x00, 0x9B}));

  // A block at 0x800: written once; the same block again is refused.
  std::string block = bytes({0x50, 0x00, 0x00, 0x08, 0x00}) + std::string(128, 'x');
  unsigned sum = 0;
  for (char c : block) sum += static_cast<unsigned char>(c);
  block.push_back(static_cast<char>(-sum));
  EXPECT_EQ(rig.feed(block), bytes({0x06}));
  EXPECT_TRUE(rig.built().bootProgram().firmwareRuns());
  EXPECT_EQ(rig.feed(block), "");
  EXPECT_FALSE(rig.built().bootProgram().firmwareRuns());  // the last block was refused
  EXPECT_EQ(rig.built().bootProgram().flash()[0x800], 'x');
  EXPECT_EQ(rig.built().bootProgram().flash()[0x880], 0xFF);
}

}  // namespace
}  // namespace cardsim

// The boot program and its kernels fed byte by byte.
#include "CardRig.h"

#include <gtest/gtest.h>

namespace cardsim {
namespace {

// `block` followed by the byte that makes its sum 0 (mod 256).
std::string summed(const std::string& block) {
  unsigned sum = 0;
  for (unsigned char c : block) sum += c;
  return block + bytes({static_cast<int>(-sum)});
}

TEST(BootProgram, SynchronisesOncePerBurstAndEchoesTheMicroKernel) {
  CardRig rig;
  rig.setup.startMode = CardMode::Boot;
  EXPECT_EQ(rig.feed(bytes({0x00, 0x00}), true), "");  // garbled bytes never synchronise
  EXPECT_EQ(rig.feed({{bytes({0x00})}, {bytes({0x00})}, {bytes({0x55})}}), bytes({0x00, 0xAA}));
  EXPECT_EQ(rig.feed(bytes({0x00, 0x04})), bytes({0x00, 0x04}));
  EXPECT_NE(rig.feed("K", true), "K");
  EXPECT_EQ(rig.feed("ERN"), "ERN" + bytes({0xAA, 0xAA}));
  EXPECT_EQ(rig.built().bootProgram().flash(), Bytes(BootProgram::FLASH_SIZE, 0xFF));
}

// Each command needs its exact bytes, its sum and, after a rate change, the new rate.
TEST(BootProgram, KernelsTakeOnlyWhatSumsRightAndBlocksAreWrittenOnce) {
  CardRig rig;
  rig.setup.startMode = CardMode::Boot;
  rig.feed(bytes({0x00, 0x00, 0x55, 0x00, 0x04}) + "KERN");
  const std::vector<std::pair<std::string, std::string>> steps = {
      {bytes({0x27}), bytes({0x37, 0x02, 0x00, 0x80, 0x47})},
      {bytes({0x10, 0x04, 0x30, 0x34, 0x31, 0x30, 0x28}), ""},  // wrong sum
      {bytes({0x10, 0x04, 0x30, 0x34, 0x31, 0x30, 0x27}), bytes({0x06})},
      {bytes({0x11, 0x01, 0x03, 0xEB}), bytes({0x06})},
      {bytes({0x3F, 0x07, 0x04, 0x80, 0x04, 0x52, 0x02, 0x04, 0x02, 0xD8}), bytes({0x06})},  // to 115200
      {bytes({0x06}), bytes({0x06})},
      {bytes({0x40}), bytes({0x06})},
      {bytes({0, 0, 0, 2}) + "AB" + bytes({0x07}), ""},  // main kernel, wrong sum
      {bytes({0, 0, 0, 2}) + "AB" + bytes({0x08}), bytes({0x06})},
      {bytes({0x4F}), bytes({0x5F, 0x02, 0x03, 0x00, 0x9C})},
      {bytes({0x43}), bytes({0x06})},
      {bytes({0, 0, 0, 1}) + "C" + bytes({0x23}), bytes({0x06})},  // write kernel
      {bytes({0x4F}), bytes({0x5F, 0x02, 0x04, 0x00, 0x9B})},
  };
  for (const auto& [command, answer] : steps) EXPECT_EQ(rig.feed(command), answer) << escape(command);
  EXPECT_EQ(rig.built().cardRate(), 115200);
  const std::string block = summed(bytes({0x50, 0x00, 0x00, 0x08, 0x00}) + std::string(128, 'x'));
  EXPECT_EQ(rig.feed(block), bytes({0x06}));
  EXPECT_TRUE(rig.built().bootProgram().firmwareRuns());
  EXPECT_EQ(rig.feed(block), "");
  EXPECT_FALSE(rig.built().bootProgram().firmwareRuns());  // the last block was refused
  EXPECT_EQ(rig.built().bootProgram().flash()[0x800], 'x');
  EXPECT_EQ(rig.built().bootProgram().flash()[0x880], 0xFF);
}

}  // namespace
}  // namespace cardsim

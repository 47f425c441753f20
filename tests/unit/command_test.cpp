#include "channel/command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const BYTE *bytes(const std::string &s) {
  return reinterpret_cast<const BYTE *>(s.data());
}

// Feeds the text-answer receiver one chunk after another, like successive
// reads; returns the answer when one completed, or "" otherwise.
std::string collect(std::initializer_list<std::string> chunks, bool *full = nullptr) {
  CmdReceiver r;
  cmdReceiverStart(&r);
  char answer[60];
  std::memset(answer, 'X', sizeof answer);
  bool isFull = false;
  for (const std::string &c : chunks) {
    if (cmdReceiverFeed(&r, answer, bytes(c), c.size(), &isFull) == CMD_COMPLETE)
      return answer;
    if (isFull)
      break;
  }
  if (full)
    *full = isFull;
  return "";
}

TEST(TextAnswer, TakesTheLineFromItsHashToItsCarriageReturn) {
  EXPECT_EQ(collect({"#DEVTYPE DVITOSDI\r"}), "#DEVTYPE DVITOSDI\r");
  EXPECT_EQ(collect({std::string("\0junk\r", 6), "#DEVTYPE HDMITOSDI\rtrailing"}),
            "#DEVTYPE HDMITOSDI\r");
  EXPECT_EQ(collect({"#DEV", "TY", "PE SDITODVI\r"}), "#DEVTYPE SDITODVI\r");
}

TEST(TextAnswer, DropsHashesInsideTheAnswer) {
  EXPECT_EQ(collect({"#DEV#TYPE ##X\r"}), "#DEVTYPE X\r");
}

TEST(TextAnswer, ACarriageReturnBeforeTheHashDoesNotEndIt) {
  EXPECT_EQ(collect({"\r\r", "#A\r"}), "#A\r");
}

TEST(TextAnswer, FortyCharactersWithoutCarriageReturnFill) {
  bool full = false;
  EXPECT_EQ(collect({"#" + std::string(38, 'a'), "b"}, &full), "");
  EXPECT_TRUE(full);
  // 39 characters and the CR still make an answer.
  EXPECT_EQ(collect({"#" + std::string(38, 'a') + "\r"}),
            "#" + std::string(38, 'a') + "\r");
}

TEST(TextAnswer, NeverStoresPastFortyOneCharacters) {
  CmdReceiver r;
  cmdReceiverStart(&r);
  char answer[60];
  std::memset(answer, 'X', sizeof answer);
  bool full = false;
  std::string flood(200, 'z');
  flood[0] = '#';
  cmdReceiverFeed(&r, answer, bytes(flood), flood.size(), &full);
  EXPECT_TRUE(full);
  EXPECT_EQ(answer[40], 'X');
}

int acknowledge(std::initializer_list<std::string> chunks, std::string *printed) {
  MicroReceiver r;
  microReceiverStart(&r);
  testing::internal::CaptureStdout();
  int status = 0;
  for (const std::string &c : chunks)
    if ((status = microReceiverFeed(&r, bytes(c), c.size())) != 0)
      break;
  *printed = testing::internal::GetCapturedStdout();
  return status;
}

TEST(Acknowledgement, AcceptsRepeatedEqualsBeforeTheM) {
  std::string printed;
  EXPECT_EQ(acknowledge({"=M*"}, &printed), MICRO_ACCEPTED);
  EXPECT_EQ(acknowledge({"xx==", "=M", "*"}, &printed), MICRO_ACCEPTED);
  EXPECT_EQ(printed, "");
}

TEST(Acknowledgement, ForgetsAnEqualsFollowedByAnotherByte) {
  std::string printed;
  // "=x" drops the "="; the "M*" after it is noise until a new "=M".
  EXPECT_EQ(acknowledge({"=xM*"}, &printed), 0);
  EXPECT_EQ(acknowledge({"=xM*", "=M*"}, &printed), MICRO_ACCEPTED);
}

TEST(Acknowledgement, RefusalAndInvalidStatusArePrinted) {
  std::string printed;
  EXPECT_EQ(acknowledge({"=M~"}, &printed), MICRO_REFUSED);
  EXPECT_EQ(printed, "Invalid command from micro ...\n");
  EXPECT_EQ(acknowledge({"=Mq"}, &printed), MICRO_INVALID);
  EXPECT_EQ(printed, "Invalid answer from micro ... q\n");
}

} // namespace

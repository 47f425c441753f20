// The card command channel's readers: text answers, "=M" acknowledgements,
// FPGA requests and progress, and the GAMMA table.
#include "channel/command.h"
#include "channel/fpga.h"
#include "channel/gamma.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Chunks = std::vector<std::string>;

const BYTE *bytes(const std::string &s) { return reinterpret_cast<const BYTE *>(s.data()); }

// Feeds the text-answer receiver the chunks like successive reads; returns
// the answer when one completed, "full" when the buffer filled, or "".
std::string textAnswer(const Chunks &chunks) {
  CmdReceiver r;
  cmdReceiverStart(&r);
  char answer[60];
  std::memset(answer, 'X', sizeof answer);
  bool full = false;
  for (const std::string &c : chunks) {
    if (cmdReceiverFeed(&r, answer, bytes(c), c.size(), &full) == CMD_COMPLETE)
      return answer;
    if (full)
      return answer[40] == 'X' ? "full" : "stored past 41 characters";
  }
  return "";
}

TEST(TextAnswer, FromItsHashToItsCarriageReturnInFortyCharacters) {
  const std::string a38(38, 'a');
  const std::pair<Chunks, std::string> cases[] = {
      {{std::string("\0junk\r", 6), "#DEVTYPE HDMITOSDI\rtrailing"}, "#DEVTYPE HDMITOSDI\r"},
      {{"#DEV", "TY", "PE SDITODVI\r"}, "#DEVTYPE SDITODVI\r"}, {{"\r\r", "#A\r"}, "#A\r"},
      {{"#DEV#TYPE ##X\r"}, "#DEVTYPE X\r"}, // hashes inside are dropped
      {{"#" + a38, "b"}, "full"}, {{"#" + a38 + "\r"}, "#" + a38 + "\r"},
      {{"#" + std::string(200, 'z')}, "full"},
  };
  for (const auto &[chunks, answer] : cases)
    EXPECT_EQ(textAnswer(chunks), answer) << chunks[0];
}

TEST(Acknowledgement, EqualsMAndTheVerdict) {
  // "=x" drops the "="; the "M*" after it is noise until a new "=M".
  const std::tuple<Chunks, int, std::string> cases[] = {
      {{"=M*"}, MICRO_ACCEPTED, ""}, {{"xx==", "=M", "*"}, MICRO_ACCEPTED, ""},
      {{"=xM*"}, 0, ""}, {{"=xM*", "=M*"}, MICRO_ACCEPTED, ""},
      {{"=M~"}, MICRO_REFUSED, "Invalid command from micro ...\n"},
      {{"=Mq"}, MICRO_INVALID, "Invalid answer from micro ... q\n"},
  };
  for (const auto &[chunks, verdict, printed] : cases) {
    MicroReceiver r;
    microReceiverStart(&r);
    testing::internal::CaptureStdout();
    int status = 0;
    for (size_t k = 0; k < chunks.size() && status == 0; ++k)
      status = microReceiverFeed(&r, bytes(chunks[k]), chunks[k].size());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), printed);
    EXPECT_EQ(status, verdict) << chunks[0];
  }
}

std::string requests(const std::string &stream) {
  FpgaRequests r;
  fpgaRequestsStart(&r);
  std::string out;
  for (char c : stream) {
    const FpgaEvent e = fpgaRequestsFeed(&r, static_cast<BYTE>(c));
    if (e == FPGA_SEND_BYTE)
      out += "byte ";
    else if (e == FPGA_SEND_BLOCK)
      out += "block" + std::to_string(r.count) + " ";
    else if (e != FPGA_NOTHING)
      out += (e == FPGA_DONE ? "end" : "bad") + std::string(1, static_cast<char>(r.byte)) + " ";
  }
  return out;
}

TEST(FpgaRequests, BytesBlocksAndTheEndReport) {
  // The count's bytes may be any value, "*", "$" and "~" included; the byte
  // after a lone "$" is consumed, even when it is a request.
  const std::pair<std::string, std::string> cases[] = {
      {"hello\r\n**", "byte byte "},  {std::string("$$\x01\x02", 4), "block258 "},
      {"$$\xFF\xFF", "block65535 "}, {std::string("$$\x00\x00*", 5), "block0 byte "},
      {"$$*$*", "block10788 byte "},  {"$$~~~S", "block32382 endS "},
      {"$x*", "badx byte "},          {"$**", "bad* byte "},  {"*~S", "byte endS "}, {"~*", "end* "},
  };
  for (const auto &[stream, events] : cases)
    EXPECT_EQ(requests(stream), events) << stream;
}

TEST(FpgaProgress, PercentShowsTwoTenthsHighAndALineEveryStep) {
  // Capped at 100; a file far beyond 700000 bytes is measured at its size.
  const struct {
    unsigned sent, size;
    float percent;
  } percents[] = {{.sent = 0, .size = 1000, .percent = 0.2f},
                  {.sent = 500, .size = 1000, .percent = 50.2f},
                  {.sent = 999, .size = 1000, .percent = 100.0f},
                  {.sent = 1000, .size = 1000, .percent = 100.0f},
                  {.sent = 700000, .size = 1400000, .percent = 50.2f},
                  {.sent = 0, .size = 0, .percent = 100.0f}};
  for (const auto &[sent, size, percent] : percents)
    EXPECT_FLOAT_EQ(fpgaPercent(sent, size), percent) << sent << "/" << size;
  // Below 5000 bytes the step is 0: a line on every pass once a byte went.
  EXPECT_FALSE(fpgaProgressDue(4999, 0, 0));
  EXPECT_TRUE(fpgaProgressDue(4999, 300, 1));
  // 152618 bytes: a line every 30 bytes.
  int lines = 0;
  for (unsigned size = 0; size <= 152618; ++size)
    while (fpgaProgressDue(152618, lines, size))
      ++lines;
  EXPECT_EQ(lines, 152618 / 30 + 1);
}

TEST(GammaTable, LinesGiveThreeValuesOrAreRefused) {
  // One separator of any kind after a number (a blank included); a missing
  // or unreadable field is 0, and so is the rest after it.
  const std::pair<const char *, std::vector<short>> stored[] = {
      {"12;34;56\r\n", {12, 34, 56}},     {"  12,\t34,   56\n", {12, 34, 56}},
      {"+12,0,1023\n", {12, 0, 1023}},   {"12,34\n", {12, 34, 0}},
      {"red,green,blue\n", {0, 0, 0}}, {"12,,34,56\n", {12, 0, 0}}, {"12 ,34,56\n", {12, 0, 0}},
  };
  static GammaTable table;
  for (const auto &[line, values] : stored) {
    gammaTableStart(&table);
    EXPECT_EQ(gammaTableFeedLine(&table, line), GAMMA_LINE_STORED) << line;
    EXPECT_EQ(std::vector<short>(table.valuesAsSent, table.valuesAsSent + 3), values) << line;
  }
  for (const char *line : {"% red green blue\n", "%\n"})
    EXPECT_EQ(gammaTableFeedLine(&table, line), GAMMA_LINE_COMMENT) << line;
  for (const char *line : {"0,-1,0\n", "0,0,65536\n", "-99999999999999999999999,0,0\n"})
    EXPECT_EQ(gammaTableFeedLine(&table, line), GAMMA_LINE_OUT_OF_RANGE) << line;
}

} // namespace

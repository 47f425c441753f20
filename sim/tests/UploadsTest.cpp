#include "AckedUpload.h"
#include "CardRig.h"
#include "Samples.h"
#include "Uploads.h"
#include "XsvfPlayer.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace cardsim {
namespace {

std::string dataFile(const std::string& name) {
  std::ifstream in(std::string(TEST_DATA_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string bytesOf(const Bytes& b) { return std::string(b.begin(), b.end()); }

char plainSum(const std::string& data) {
  unsigned sum = 0;
  for (unsigned char c : data) sum += c;
  return static_cast<char>(sum & 0xFF);
}

// Sends `data` one unit at a time as the updater does and returns the
// card's answers in order.
std::string upload(CardRig& rig, const std::string& command, const std::string& data,
                   size_t unit) {
  std::string out = rig.feed(command);
  for (size_t i = 0; i < data.size(); i += unit) out += rig.feed(data.substr(i, unit));
  return out;
}

TEST(EdidUpload, EachByteAcknowledgedThenTheSumJudged) {
  const std::string edid = dataFile("tv_256_cta_a.bin");
  ASSERT_EQ(edid.size(), 256u);
  CardRig rig;
  EXPECT_EQ(upload(rig, "#EDID 2\r", edid, 1), std::string(256, '.'));
  EXPECT_EQ(rig.feed(std::string(1, plainSum(edid))), "~S");
  EXPECT_EQ(rig.record.value("edid_result"), "programmed");
  // The firmware reads commands again afterwards.
  EXPECT_EQ(rig.feed("#DEVTYPE\r"), "#DEVTYPE DVITOSDI\r");
}

TEST(EdidUpload, WrongSumOrGarbledByteFails) {
  const std::string edid = dataFile("monitor_128_a.bin");
  CardRig rig;
  upload(rig, "#EDID 1\r", edid, 1);
  EXPECT_EQ(rig.feed(std::string(1, static_cast<char>(plainSum(edid) + 1))), "~E");
  EXPECT_EQ(rig.record.value("edid_result"), "failed");

  CardRig garbled;
  garbled.feed("#EDID 1\r");
  garbled.feed(edid.substr(0, 127));
  garbled.feed(edid.substr(127), true);
  EXPECT_EQ(garbled.feed(std::string(1, plainSum(edid))), "~E");
}

TEST(EdidUpload, OnlyOneOrTwoBlocks) {
  CardRig rig;
  EXPECT_EQ(rig.feed("#EDID 3\r"), "#NACK\r");
  EXPECT_EQ(rig.feed("#EDID\r"), "#NACK\r");
}

TEST(EdidUpload, FaultsOnTheAnswers) {
  const std::string edid(128, '\x01');
  CardRig failing;
  failing.fault("upload-fail=EDID");
  upload(failing, "#EDID 1\r", edid, 1);
  EXPECT_EQ(failing.feed("\x80"), "~E");

  CardRig silent;
  silent.fault("upload-silent-after=3");
  EXPECT_EQ(upload(silent, "#EDID 1\r", edid, 1), "...");
  EXPECT_EQ(silent.feed("\x80"), "");

  CardRig noEnd;
  noEnd.fault("no-end=EDID");
  upload(noEnd, "#EDID 1\r", edid, 1);
  EXPECT_EQ(noEnd.feed("\x80"), "");

  CardRig noVerdict;
  noVerdict.fault("no-verdict=EDID");
  upload(noVerdict, "#EDID 1\r", edid, 1);
  EXPECT_EQ(noVerdict.feed("\x80"), "~");

  CardRig noisy;
  noisy.fault("ack-noise");
  EXPECT_EQ(upload(noisy, "#EDID 1\r", edid.substr(0, 2), 1),
            std::string(AckedUpload::ACK_NOISE) + "." + AckedUpload::ACK_NOISE + ".");
}

TEST(GammaUpload, OneAcknowledgementPerValue) {
  std::string data;
  for (int v = 0; v < GAMMA_VALUES; ++v) {
    const int value = v % 1024;
    data += static_cast<char>(value >> 8);
    data += static_cast<char>(value & 0xFF);
  }
  CardRig rig;
  EXPECT_EQ(rig.feed("#GAMMA 3 1\r"), "#NACK\r");
  EXPECT_EQ(upload(rig, "#GAMMA 3 0\r", data, 2), std::string(GAMMA_VALUES, '.'));
  EXPECT_EQ(rig.feed(std::string(1, plainSum(data))), "~S");
  EXPECT_EQ(rig.record.value("gamma_result"), "programmed");
}

TEST(GammaUpload, TableAsCsvLines) {
  const Bytes data = {0x00, 0x01, 0x03, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x03};
  EXPECT_EQ(gammaCsv(data), "1,1023,256\n0,2,3\n");
}

TEST(ScriptCommands, ConfiguredWordsAckedOthersNackedLoneCrAnsweredEmpty) {
  CardRig rig;
  EXPECT_EQ(rig.feed("#BRIGHTNESS 50\r"), "#ACK\r");
  EXPECT_EQ(rig.feed("#save\r"), "#ACK\r");
  EXPECT_EQ(rig.feed("#FROB 1\r"), "#NACK\r");
  EXPECT_EQ(rig.feed("\r"), "\r");
  EXPECT_TRUE(rig.record.hasEvent("empty-line"));
  // A CR that ends junk is no empty line.
  EXPECT_EQ(rig.feed("junk\r"), "");

  CardRig custom;
  custom.setup.uploads.scriptCommands = parseScriptCommands("FROB,#zap");
  EXPECT_EQ(custom.feed("#FROB 1\r"), "#ACK\r");
  EXPECT_EQ(custom.feed("#ZAP\r"), "#ACK\r");
  EXPECT_EQ(custom.feed("#BRIGHTNESS 50\r"), "#NACK\r");
  EXPECT_TRUE(parseScriptCommands("none").empty());
  EXPECT_THROW(parseScriptCommands("A,,B"), std::invalid_argument);
}

// Plays the host's side of the FPGA transfer: answers every request from
// `stream`. Returns the card's end report ("~S", "~E"), or what went wrong.
struct FpgaHost {
  CardRig& rig;
  std::string stream;
  size_t position = 0;
  size_t largestBlock = 0;
  size_t singles = 0;
  size_t blocks = 0;

  std::string run(const std::string& start = "#FPGA 1\r") {
    std::string pending = rig.feed(start);
    while (!pending.empty()) {
      if (pending[0] == '~') return pending;
      size_t count = 0;
      if (pending[0] == '*') {
        count = 1;
        ++singles;
        pending.erase(0, 1);
      } else if (pending.size() >= 4 && pending.compare(0, 2, "$$") == 0) {
        count = (static_cast<unsigned char>(pending[2]) << 8) | static_cast<unsigned char>(pending[3]);
        largestBlock = std::max(largestBlock, count);
        ++blocks;
        pending.erase(0, 4);
      } else {
        return "unexpected " + pending;
      }
      if (position + count > stream.size()) return "past end";
      const std::string bytes = stream.substr(position, count);
      position += count;
      pending += rig.feed(bytes);
    }
    return "silent";
  }
};

TEST(XsvfPlayer, PlaysRealConverterStreamsToTheEnd) {
  for (const char* name : {"erase_cpld.xsvf", "program_cpld.xsvf"}) {
    CardRig rig;
    FpgaHost host{rig, dataFile(name)};
    ASSERT_FALSE(host.stream.empty()) << name;
    EXPECT_EQ(host.run(), "~S") << name;
    EXPECT_EQ(host.position, host.stream.size()) << name;
    EXPECT_GT(host.singles, 0u) << name;
    EXPECT_GT(host.blocks, 0u) << name;
    EXPECT_EQ(rig.record.value("fpga_result"), "programmed") << name;
  }
}

TEST(XsvfPlayer, SampleStreamIsAskedInBlocksOfAtMostTheChunk) {
  CardRig rig;
  FpgaHost host{rig, bytesOf(sampleXsvf())};
  EXPECT_EQ(host.run(), "~S");
  EXPECT_EQ(host.position, host.stream.size());
  EXPECT_EQ(host.largestBlock, XsvfPlayer::BLOCK_LIMIT);

  CardRig big;
  big.fault("fpga-block-limit=4000");
  FpgaHost bigHost{big, bytesOf(sampleXsvf())};
  EXPECT_EQ(bigHost.run(), "~S");
  EXPECT_EQ(bigHost.largestBlock, 4000u);
}

TEST(XsvfPlayer, MalformedStreamsEndWithE) {
  const std::string complete(1, '\0');
  for (const std::string& stream :
       {std::string("\x05", 1), std::string("\x1D", 1), std::string("\x12\x10", 2),
        std::string("\x1C\x04", 2), std::string("\x13\x02", 2),
        std::string("\x08\x7F\xFF\xFF\xFF", 5)}) {
    CardRig rig;
    FpgaHost host{rig, stream + complete};
    EXPECT_EQ(host.run(), "~E") << escape(stream);
    EXPECT_EQ(rig.record.value("fpga_result"), "failed");
  }
}

TEST(XsvfPlayer, ZeroLengthScansAndCommentsNeedNoArgumentBytes) {
  // XSDRSIZE 0, XSDR (no bytes), XSIR of 0 bits, XCOMMENT "hi", XCOMPLETE.
  const std::string stream("\x08\x00\x00\x00\x00\x03\x02\x00\x16hi\x00\x00", 13);
  CardRig rig;
  FpgaHost host{rig, stream};
  EXPECT_EQ(host.run(), "~S");
  EXPECT_EQ(host.position, stream.size());
}

TEST(XsvfPlayer, FaultsOnTheRequests) {
  const std::string stream = dataFile("erase_cpld.xsvf");
  CardRig failing;
  failing.fault("upload-fail=FPGA");
  EXPECT_EQ((FpgaHost{failing, stream}.run()), "~E");

  CardRig pastEnd;
  pastEnd.fault("fpga-past-end=5");
  EXPECT_EQ((FpgaHost{pastEnd, stream}.run()), "past end");

  CardRig silent;
  silent.fault("upload-silent-after=10");
  FpgaHost silentHost{silent, stream};
  EXPECT_EQ(silentHost.run(), "silent");
  EXPECT_EQ(silent.record.value("fpga_result"), "");

  CardRig bad;
  bad.fault("fpga-bad-request");
  const std::string first = bad.feed("#FPGA 1\r");
  EXPECT_EQ(first, "*");
  EXPECT_EQ(bad.feed("\x07"), "*");  // XREPEAT's count is one byte: "*"
  EXPECT_EQ(bad.feed(std::string(1, '\0')), "*");
  // XSDRSIZE's four bytes are the first block request.
  EXPECT_EQ(bad.feed("\x08"), std::string("$x$$\x00\x04", 6));
}

TEST(XsvfPlayer, OnlyFpgaOne) {
  CardRig rig;
  EXPECT_EQ(rig.feed("#FPGA 2\r"), "#NACK\r");
}

TEST(Samples, EdidBlocksSumToZeroAndStreamEnds) {
  const Bytes edid = sampleEdid();
  ASSERT_EQ(edid.size(), 256u);
  for (size_t block = 0; block < 2; ++block) {
    unsigned sum = 0;
    for (size_t i = 0; i < 128; ++i) sum += edid[block * 128 + i];
    EXPECT_EQ(sum % 256, 0u);
  }
  EXPECT_EQ(sampleXsvf().back(), 0x00);
  const std::string gamma = sampleGamma();
  EXPECT_EQ(std::count(gamma.begin(), gamma.end(), '\n'), 1025);
  EXPECT_EQ(gamma.rfind("1023,1023,1023\n"), gamma.size() - 15);
}

}  // namespace
}  // namespace cardsim

// The ISP side of the card: message checksums and frame stuffing, the frame
// receiver, the VXP status report, the verify comparison and the VIPER
// job's test of the image file.
#include "isp/codec.h"
#include "isp/exchange.h"
#include "isp/flashio.h"
#include "isp/status.h"
#include "isp/verify.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes encode(const Bytes &data) {
  Bytes out(2 * data.size() + 4, 0xAA);
  const int n = yEncode(out.data(), data.data(), static_cast<int>(data.size()));
  EXPECT_EQ(out[n], 0) << "the uncounted NUL follows the frame";
  out.resize(n);
  return out;
}

TEST(IspChecksum, WordsSumToZeroAndNothingIsWrittenPastTheChecksum) {
  // Message words with the spare word after the checksum; the checksum.
  const std::pair<std::vector<IspWord>, IspWord> cases[] = {
      {{0x0632, 0x0000, 0, 0x5555}, 0xF9CE},
      {{0x3802, 0x0080, 0x0000, 0x3300, 0x0000, 0, 0x5555}, 0x947E},
      {{0x0001, 0xFFFF, 0x1234, 0x5555}, 0x0000},
      {{0xF501, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0, 0x5555}, 0x0A77},
  };
  for (auto [msg, checksum] : cases) {
    const int at = ispWordCount(msg[0]) - 1;
    ASSERT_EQ(at + 2u, msg.size());
    createChecksum(msg.data());
    EXPECT_EQ(msg[at], checksum) << std::hex << msg[0];
    EXPECT_EQ(msg[at + 1], 0x5555);
    EXPECT_TRUE(checksumOK(msg.data()));
    msg[1] ^= 0x0100;
    EXPECT_FALSE(checksumOK(msg.data()));
  }
}

TEST(IspStuffing, WorkedFramesAndTheFiveEscapedBytes) {
  // The messages of the checksum's first two cases, each word low byte first.
  EXPECT_EQ(encode({0x32, 0x06, 0x00, 0x00, 0xCE, 0xF9}),
            (Bytes{0x3D, 0x47, 0x5C, 0x30, 0x2A, 0x2A, 0xF8, 0x23, 0x0D}));
  EXPECT_EQ(encode({0x02, 0x38, 0x80, 0x00, 0x00, 0x00, 0x00, 0x33, 0x00, 0x00, 0x7E, 0x94}),
            (Bytes{0x3D, 0x47, 0x2C, 0x62, 0xAA, 0x2A, 0x2A, 0x2A, 0x2A, 0x5D, 0x2A, 0x2A,
                   0xA8, 0xBE, 0x0D}));
  const std::pair<unsigned char, Bytes> cases[] = {
      {0x00, {0x2A}},       {0xFF, {0x29}},       {0x13, {0x3D, 0x7D}}, {0xD6, {0x3D, 0x40}},
      {0xDF, {0x3D, 0x49}}, {0xE0, {0x3D, 0x4A}}, {0xE3, {0x3D, 0x4D}}};
  for (const auto &[byte, body] : cases) {
    const Bytes frame = encode({byte});
    EXPECT_EQ(Bytes(frame.begin() + 2, frame.end() - 1), body) << std::hex << int(byte);
  }
  int escaped = 0;
  for (int b = 0; b < 256; ++b)
    escaped += encode({static_cast<unsigned char>(b)}).size() == 5;
  EXPECT_EQ(escaped, 5);
}

TEST(IspStuffing, EveryByteRoundTripsAndATrailingEscapeStaysInside) {
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  const Bytes frame = encode(all);
  Bytes decoded(frame.size(), 0);
  decoded.resize(yDecode(decoded.data(), frame.data() + 2, static_cast<int>(frame.size()) - 3));
  EXPECT_EQ(decoded, all);
  // The body's last byte is an escape: its partner would be the end marker.
  const Bytes body = {0x5C, 0x3D};
  Bytes out(4, 0xAA);
  EXPECT_EQ(yDecode(out.data(), body.data(), 2), 2);
  EXPECT_EQ(out, (Bytes{0x32, static_cast<unsigned char>(0x0D - 64 - 42), 0xAA, 0xAA}));
  IspWord msg[3] = {0x0632, 0x0000, 0xF9CE};
  testing::internal::CaptureStdout();
  printMsg(msg);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "0x0632 0x0000 0xf9ce \n");
}

// Feeds the chunks one after another like successive reads; returns the
// frame when one completed, "overflow", or "".
std::string received(const std::vector<std::string> &chunks) {
  IspReceiver r;
  ispReceiverStart(&r);
  unsigned char frame[ISP_RECEIVE_BUFFER + 16];
  std::fill(frame, frame + sizeof frame, 0xEE);
  for (const std::string &c : chunks)
    ispReceiverFeed(&r, frame, reinterpret_cast<const unsigned char *>(c.data()),
                    static_cast<DWORD>(c.size()));
  EXPECT_EQ(std::count(frame + ISP_RECEIVE_BUFFER, std::end(frame), 0xEE), 16);
  if (r.overflow)
    return "overflow";
  return r.complete ? std::string(reinterpret_cast<char *>(frame), r.i) : "";
}

TEST(IspReceiver, FrameFromItsStartToItsCarriageReturn) {
  const std::string exact = "=G" + std::string(ISP_RECEIVE_BUFFER - 3, 'y') + "\r";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"=M*junk\r", "=G\\0", "**", "\xF8#\r"}, "=G\\0**\xF8#\r"}, {{"===G", "ab\r"}, "=Gab\r"},
      {{"=x\r=Gab\r"}, "=Gab\r"}, {{"=x\r"}, ""}, {{"=Gab\r=Gcd\r"}, "=Gab\r"},
      {{"=Gold", "stuff=Gnew\r"}, "=Gnew\r"}, {{"=Gold=", "Gnew\r"}, "=Gnew\r"},
      {{"=G" + std::string(300, 'x') + "\r"}, "overflow"},
      {{exact}, exact}, // fills the buffer exactly, CR included
  };
  for (const auto &[chunks, frame] : cases)
    EXPECT_EQ(received(chunks), frame) << chunks[0];
}

std::string printed(const VxpStatusReport &r) {
  testing::internal::CaptureStdout();
  printVxpStatus(r);
  return testing::internal::GetCapturedStdout();
}

TEST(VxpStatus, FieldsTakenFromTheAnswerWords) {
  VxpStatusReport r = {};
  IspWord name[8] = {0x6633, 0x4B5A, 0x3233, 0x3030, 0x2D41, 0x4231, 0x2020};
  takeDeviceName(&r, name);
  EXPECT_EQ(std::string(r.name, 12), "KZ2300-AB1  ");
  IspWord status[16] = {0xD62F, 0x0302, 0xAB12};
  status[14] = 0xFF5A; // bit 15 of the memory bits is ignored
  takeVxpStatus(&r, status);
  IspWord cal[5] = {0x161A, 0, 0, 0x1234};
  takeOsdCalibration(&r, cal);
  takeVideoCalibration(&r, cal);
  EXPECT_EQ(std::vector<long>({r.osdLoadStatus, r.configStatus, r.deviceType, r.memoryBits,
                                   r.chipSelectBits, r.osdCalibration, r.videoCalibration}),
            std::vector<long>({3, 2, 0xAB12, 0x7F, 0x5A, 0x34, 0x1234}));
}

TEST(VxpStatus, ReportText) {
  // Name, OSD load and config status, device type, memory, chip select and calibration bits.
  const VxpStatusReport zero = {}, unknown = {{}, 7, 5, 0x0005, 0, 0, 0, 0},
                        other = {{}, 6, 4, 0xAB12, 0, 0, 0, 0}, nine = {{}, 0, 0, 0, 0, 0, 0, 1u << 9};
  const std::pair<VxpStatusReport, std::string> cases[] = {
      {zero, "\n/********** VXP STATUS ***********/ \n\nDevice Name         -> " +
                 std::string(12, '\0') +
                 "\nDevice Type         -> KZ0\nOSD Load Status     -> OSD Load Table OK\n"
                 "Config Status       -> Insystem program mode\nMemory Devices      ->\n\r"
                 "    Video Memory:  \n           SDRAM 1 Not Detected"},
      {zero, "\n/******** END OF VXP STATUS ********/ \nPress Enter to refresh or 'Q' to quit "},
      {unknown, "KZ5\nOSD Load Status     -> Error Unknown\n"
                "Config Status       -> Error Unknown\n"},
      {other, "KZab12\nOSD Load Status     -> Awaiting trigger of manual OSD bulk load\n"
              "Config Status       -> Firmware incompatible with device type\n"},
      {nine, "           Byte 4 : Not Passed            Byte 9 : Passed\n"},
  };
  for (const auto &[report, text] : cases)
    EXPECT_NE(printed(report).find(text), std::string::npos) << text;
  EXPECT_EQ(printed(zero).find(": Passed"), std::string::npos);
  const std::string onlyNine = printed(nine);
  EXPECT_EQ(onlyNine.find(": Passed"), onlyNine.find("Byte 9 : Passed") + 7);
}

// A Read Block answer carrying `words`.
std::vector<IspWord> answer(const std::vector<IspWord> &words) {
  std::vector<IspWord> a(30, 0);
  a[0] = static_cast<IspWord>(((words.size() - 1) << 12) | ISP_READ_BLOCK_ANSWER);
  std::copy(words.begin(), words.end(), a.begin() + 1);
  return a;
}

TEST(VerifyCompare, CountsDifferingWordsWithinTheFileOnly) {
  Bytes image(32);
  std::iota(image.begin(), image.end(), 0);
  std::vector<IspWord> same(16);
  for (int k = 0; k < 16; ++k)
    same[k] = static_cast<IspWord>(image[2 * k] | image[2 * k + 1] << 8);
  auto oneByte = same, twoWords = same, tail = same, tailDiffers = same;
  oneByte[3] ^= 0x0100;
  twoWords[3] ^= 0xFFFF;
  twoWords[15] ^= 0x0001;
  // A 5-byte file: the word at 4 has only its low byte in it.
  tail[2] = 0x7704;
  tailDiffers[2] = 0x7705;
  tail[3] = tailDiffers[3] = 0xABCD;
  const std::tuple<std::vector<IspWord>, DWORD, DWORD> cases[] = {
      {same, 32, 0}, {oneByte, 32, 1}, {twoWords, 32, 2}, {tail, 5, 0}, {tailDiffers, 5, 1}};
  for (const auto &[words, size, mismatches] : cases)
    EXPECT_EQ(countMismatches(answer(words).data(), image.data(), 0, size), mismatches);
  EXPECT_EQ(std::vector<int>({wordsNeeded(0, 64), wordsNeeded(32, 64), wordsNeeded(32, 37),
                              wordsNeeded(32, 38), blockWords(0xF73A), blockWords(0x073A)}),
            std::vector<int>({16, 16, 3, 3, 16, 1}));
}

TEST(ImageFile, RefusedUnlessTheJobCanWriteItWhole) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("flashio-" + std::to_string(getpid()));
  fs::create_directories(dir / "folder.bin");
  const std::string time = "\nTime : 0 minutes 0 seconds\n";
  const std::tuple<long, int, std::string> cases[] = {
      {1, 1, ""}, {0x100, 5, ""}, {IMAGE_MAX_SIZE, 7, ""},
      {IMAGE_MAX_SIZE + 1, 1, " is longer than 2097152 bytes: refused, nothing was sent.\n" + time},
      {0xFF, 7, " is shorter than its 256-byte header: refused, nothing was sent.\n" + time},
      {0, 1, " is empty: refused, nothing was sent.\n" + time},
  };
  for (const auto &[size, device, refusal] : cases) {
    const std::string name = (dir / "Device.bin").string();
    std::ofstream(name, std::ios::binary) << std::string(size, '\x5A');
    testing::internal::CaptureStdout();
    EXPECT_EQ(imageFileAcceptable(name.c_str(), device), refusal.empty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), refusal.empty() ? "" : "File " + name + refusal);
  }
  // A directory passes the presence test; it was taken for an image longer
  // than 2 MiB.
  for (const std::string name : {"folder.bin", "missing.bin"}) {
    const std::string path = (dir / name).string();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(imageFileAcceptable(path.c_str(), 5));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              name == "missing.bin" ? "Unable to open file : " + path + "\n"
                                    : "File " + path + " cannot be read: refused, nothing was sent.\n" + time);
  }
  fs::remove_all(dir);
}

} // namespace

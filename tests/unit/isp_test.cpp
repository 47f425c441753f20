// The ISP side of the card: message checksums, frame stuffing and the VIPER
// job's test of the image file.
#include "isp/codec.h"
#include "isp/flashio.h"

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
      {{0x0001, 0xFFFF, 0x1234, 0x5555}, 0x0000},
      {{0xF501, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0, 0x5555}, 0x0A77},
  };
  for (auto [msg, checksum] : cases) {
    const size_t at = msg.size() - 2;
    ASSERT_EQ(ispWordCount(msg[0]), at + 1);
    createChecksum(msg.data());
    EXPECT_EQ(msg[at], checksum) << std::hex << msg[0];
    EXPECT_EQ(msg[at + 1], 0x5555);
    EXPECT_TRUE(checksumOK(msg.data()));
    msg[1] ^= 0x0100;
    EXPECT_FALSE(checksumOK(msg.data()));
  }
}

TEST(IspStuffing, WorkedFrameTheFiveEscapedBytesAndEveryByteRoundTrips) {
  // The checksum's first message, each word low byte first.
  EXPECT_EQ(encode({0x32, 0x06, 0x00, 0x00, 0xCE, 0xF9}),
            (Bytes{0x3D, 0x47, 0x5C, 0x30, 0x2A, 0x2A, 0xF8, 0x23, 0x0D}));
  const std::pair<unsigned char, Bytes> cases[] = {
      {0x00, {0x2A}},       {0xFF, {0x29}},       {0x13, {0x3D, 0x7D}}, {0xD6, {0x3D, 0x40}},
      {0xDF, {0x3D, 0x49}}, {0xE0, {0x3D, 0x4A}}, {0xE3, {0x3D, 0x4D}}};
  for (const auto &[byte, body] : cases) {
    const Bytes frame = encode({byte});
    EXPECT_EQ(Bytes(frame.begin() + 2, frame.end() - 1), body) << std::hex << int(byte);
  }
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  const Bytes frame = encode(all);
  EXPECT_EQ(frame.size(), 256u + 5 + 3) << "five bytes escaped";
  Bytes decoded(frame.size(), 0);
  decoded.resize(yDecode(decoded.data(), frame.data() + 2, static_cast<int>(frame.size()) - 3));
  EXPECT_EQ(decoded, all);
  // The body's last byte is an escape: its partner would be the end marker.
  const Bytes body = {0x5C, 0x3D};
  Bytes out(4, 0xAA);
  EXPECT_EQ(yDecode(out.data(), body.data(), 2), 2);
  EXPECT_EQ(out, (Bytes{0x32, static_cast<unsigned char>(0x0D - 64 - 42), 0xAA, 0xAA}));
}

// Sizes at the limits, and a directory in the image's place.
TEST(ImageFile, RefusedUnlessTheJobCanWriteItWhole) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("flashio-" + std::to_string(getpid()));
  fs::create_directories(dir / "folder.bin");
  const std::string time = ": refused, nothing was sent.\n\nTime : 0 minutes 0 seconds\n";
  const struct {
    std::string name;
    long size;
    int device;
    std::string refusal = ""; // the console, "@" for the file's path; "" when accepted
  } cases[] = {
      {.name = "Device.bin", .size = 0x100, .device = 5},
      {.name = "Device.bin", .size = 0xFF, .device = 1},
      {.name = "Device.bin", .size = IMAGE_MAX_SIZE, .device = 1},
      {.name = "Device.bin", .size = 0xFF, .device = 7,
       .refusal = "File @ is shorter than its 256-byte header" + time},
      // Once taken for an image longer than 2 MiB; no plain file, it is not opened.
      {.name = "folder.bin", .size = 0, .device = 5, .refusal = "Unable to open file : @\n"},
  };
  for (const auto &[name, size, device, refusal] : cases) {
    const std::string path = (dir / name).string();
    if (name == "Device.bin")
      std::ofstream(path, std::ios::binary) << std::string(size, '\x5A');
    testing::internal::CaptureStdout();
    EXPECT_EQ(imageFileAcceptable(path.c_str(), device), refusal.empty()) << size;
    std::string console = refusal;
    if (const size_t at = console.find('@'); at != std::string::npos)
      console.replace(at, 1, path);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), console);
  }
  fs::remove_all(dir);
}

} // namespace

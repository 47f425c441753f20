#include "isp/exchange.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

struct Fed {
  std::string frame; // what was stored, when complete
  bool complete;
  bool overflow;
};

// Feeds the chunks one after another like successive reads.
Fed feed(std::initializer_list<std::string> chunks) {
  IspReceiver r;
  ispReceiverStart(&r);
  unsigned char frame[ISP_RECEIVE_BUFFER + 16];
  std::fill(frame, frame + sizeof frame, 0xEE);
  for (const std::string &c : chunks)
    ispReceiverFeed(&r, frame, reinterpret_cast<const unsigned char *>(c.data()),
                    static_cast<DWORD>(c.size()));
  for (int k = ISP_RECEIVE_BUFFER; k < ISP_RECEIVE_BUFFER + 16; ++k)
    EXPECT_EQ(frame[k], 0xEE) << "stored past the buffer";
  return {r.complete ? std::string(reinterpret_cast<char *>(frame), r.i) : "",
          r.complete, r.overflow};
}

TEST(IspReceiver, SkipsTextBeforeTheFrameAndCollectsAcrossChunks) {
  EXPECT_EQ(feed({"=M*junk\r", "=G\\0", "**", "\xF8#\r"}).frame,
            "=G\\0**\xF8#\r");
}

TEST(IspReceiver, RepeatedEqualsStillStartsAFrame) {
  EXPECT_EQ(feed({"===G", "ab\r"}).frame, "=Gab\r");
}

TEST(IspReceiver, EqualsFollowedByOtherByteIsForgotten) {
  EXPECT_EQ(feed({"=x\r=Gab\r"}).frame, "=Gab\r");
  EXPECT_FALSE(feed({"=x\r"}).complete);
}

TEST(IspReceiver, SecondStartInsideAFrameRestartsIt) {
  EXPECT_EQ(feed({"=Gold", "stuff=Gnew\r"}).frame, "=Gnew\r");
  EXPECT_EQ(feed({"=Gold=", "Gnew\r"}).frame, "=Gnew\r");
}

TEST(IspReceiver, BytesAfterTheCarriageReturnAreDropped) {
  EXPECT_EQ(feed({"=Gab\r=Gcd\r"}).frame, "=Gab\r");
}

TEST(IspReceiver, OverlongFrameOverflowsWithoutStoringPastTheBuffer) {
  Fed f = feed({"=G" + std::string(300, 'x') + "\r"});
  EXPECT_FALSE(f.complete);
  EXPECT_TRUE(f.overflow);
  // A frame that fills the buffer exactly, CR included, still completes.
  Fed exact = feed({"=G" + std::string(ISP_RECEIVE_BUFFER - 3, 'y') + "\r"});
  EXPECT_TRUE(exact.complete);
  EXPECT_EQ(exact.frame.size(), static_cast<size_t>(ISP_RECEIVE_BUFFER));
}

TEST(IspReceiver, RandomStreamsNeverOverrunAndEndOnCarriageReturn) {
  std::mt19937 rng(11);
  const char alphabet[] = {'=', 'G', '\r', 'x', '\0', '\n'};
  for (int round = 0; round < 2000; ++round) {
    std::string stream;
    const size_t length = rng() % 700;
    for (size_t k = 0; k < length; ++k)
      stream += alphabet[rng() % sizeof alphabet];
    Fed f = feed({stream.substr(0, length / 2), stream.substr(length / 2)});
    if (f.complete) {
      ASSERT_EQ(f.frame.substr(0, 2), "=G");
      ASSERT_EQ(f.frame.back(), '\r');
      ASSERT_EQ(f.frame.find('\r'), f.frame.size() - 1);
    }
  }
}

} // namespace

#include "isp/status.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string printed(const VxpStatusReport &r) {
  testing::internal::CaptureStdout();
  printVxpStatus(r);
  return testing::internal::GetCapturedStdout();
}

bool has(const std::string &text, const std::string &what) {
  return text.find(what) != std::string::npos;
}

TEST(VxpStatusFields, TakenFromTheAnswerWords) {
  VxpStatusReport r = {};
  IspWord name[8] = {0x6633, 0x4B5A, 0x3233, 0x3030, 0x2D41, 0x4231, 0x2020};
  takeDeviceName(&r, name);
  EXPECT_EQ(std::string(r.name, 12), "KZ2300-AB1  ");
  IspWord status[16] = {0xD62F, 0x0302, 0xAB12};
  status[14] = 0xFF5A; // bit 15 of the memory bits is ignored
  takeVxpStatus(&r, status);
  EXPECT_EQ(r.osdLoadStatus, 3);
  EXPECT_EQ(r.configStatus, 2);
  EXPECT_EQ(r.deviceType, 0xAB12u);
  EXPECT_EQ(r.memoryBits, 0x7Fu);
  EXPECT_EQ(r.chipSelectBits, 0x5Au);
  IspWord cal[5] = {0x161A, 0, 0, 0x1234};
  takeOsdCalibration(&r, cal);
  takeVideoCalibration(&r, cal);
  EXPECT_EQ(r.osdCalibration, 0x34u);
  EXPECT_EQ(r.videoCalibration, 0x1234u);
}

TEST(VxpStatusReportText, EmptyAnswersGiveTheZeroReport) {
  VxpStatusReport r = {};
  const std::string text = printed(r);
  const std::string head = "\n/********** VXP STATUS ***********/ \n"
                           "\nDevice Name         -> ";
  ASSERT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(head.size(), 12), std::string(12, '\0'));
  EXPECT_TRUE(has(text, "\nDevice Type         -> KZ0\nOSD Load Status     -> "
                        "OSD Load Table OK\nConfig Status       -> Insystem "
                        "program mode\nMemory Devices      ->\n\r    Video "
                        "Memory:  \n           SDRAM 1 Not Detected"));
  EXPECT_FALSE(has(text, " Detected\n") && has(text, "CS0 Detected"));
  EXPECT_FALSE(has(text, ": Passed"));
  EXPECT_TRUE(has(text, "\n/******** END OF VXP STATUS ********/ \nPress "
                        "Enter to refresh or 'Q' to quit "));
}

TEST(VxpStatusReportText, UnknownCodesAndHexType) {
  VxpStatusReport r = {};
  r.osdLoadStatus = 7;
  r.configStatus = 5;
  r.deviceType = 0x0005;
  std::string text = printed(r);
  EXPECT_TRUE(has(text, "KZ5\nOSD Load Status     -> Error Unknown\nConfig "
                        "Status       -> Error Unknown\n"));
  r.osdLoadStatus = 6;
  r.configStatus = 4;
  r.deviceType = 0xAB12;
  text = printed(r);
  EXPECT_TRUE(has(text, "KZab12\nOSD Load Status     -> Awaiting trigger of "
                        "manual OSD bulk load\nConfig Status       -> "
                        "Firmware incompatible with device type\n"));
}

TEST(VxpStatusReportText, AllDetectedLayout) {
  VxpStatusReport r = {};
  r.memoryBits = 0x7F;
  r.chipSelectBits = 0xFF;
  r.osdCalibration = 0x0F;
  r.videoCalibration = 0x3FF;
  const std::string text = printed(r);
  EXPECT_FALSE(has(text, "Not"));
  EXPECT_TRUE(has(text,
                  "    Video Memory:  \n"
                  "           SDRAM 1 Detected           SDRAM 4 Detected \n"
                  "           SDRAM 2 Detected           SDRAM 5 Detected \n"
                  "           SDRAM 3 Detected\n"
                  "    OSD Memory:  \n"
                  "           SDRAM 1 Detected           SDRAM 2 Detected \n"
                  "    Flash Memory:  \n"
                  "           CS0 Detected           CS4 Detected\n"
                  "           CS1 Detected           CS5 Detected\n"
                  "           CS2 Detected               CS6 Detected\n"
                  "           CS3 Detected               CS7 Detected \n"
                  "SDRAM Calibration   ->\n\r    OSD : \n"
                  "           Byte 0 : Passed            Byte 2 : Passed\n"
                  "           Byte 1 : Passed            Byte 3 : Passed\n"
                  "    Video: \n"
                  "           Byte 0 : Passed            Byte 5 : Passed\n"));
}

TEST(VxpStatusReportText, OnlyVideoByteNinePassed) {
  VxpStatusReport r = {};
  r.videoCalibration = 1u << 9;
  const std::string text = printed(r);
  EXPECT_EQ(text.find(": Passed"), text.find("Byte 9 : Passed") + 7);
  EXPECT_TRUE(has(text, "           Byte 4 : Not Passed            Byte 9 : "
                        "Passed\n"));
}

} // namespace

// The STATUS job's report: what the video processor's answers say, and the
// fixed layout in which it is printed.
#pragma once

#include "isp/codec.h"

const int VXP_NAME_LENGTH = 12;

struct VxpStatusReport {
  char name[VXP_NAME_LENGTH];
  int osdLoadStatus;
  int configStatus;
  unsigned deviceType;
  unsigned memoryBits;       // 7 bits
  unsigned chipSelectBits;   // 8 bits
  unsigned osdCalibration;   // bits 0..3 used
  unsigned videoCalibration; // bits 0..9 used
};

// Fields from the answers of the four queries.
void takeDeviceName(VxpStatusReport *report, const IspWord *answer);
void takeVxpStatus(VxpStatusReport *report, const IspWord *answer);
void takeOsdCalibration(VxpStatusReport *report, const IspWord *answer);
void takeVideoCalibration(VxpStatusReport *report, const IspWord *answer);

void printVxpStatus(const VxpStatusReport &report);

// The STATUS job: the video processor's report, repeated until Q. 0 when
// the last report shown holds every answer, -1 when a query went unanswered.
int runStatusJob();

// The EDID job: writes a 128- or 256-byte EDID image into the card.
#pragma once

// 0, -1, or JOB_REFUSED for an image of another size or a file that does
// not open.
int runEdidJob(const char *fileName);

// The EDID job: writes a 128- or 256-byte EDID image into the card.
#pragma once

int ProgramEDID(const char *fileName);

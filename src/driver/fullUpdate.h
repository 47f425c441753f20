// The full update (ALL) from the fixed update files that the scan found.
#pragma once

void ProgramALL(unsigned char device1Present, unsigned char device5Present,
                unsigned char fpgaPresent, unsigned char edidPresent);

// Number conversions used by the S-record readers.
#pragma once

// Converts at most two upper-case hexadecimal digits at `str` into `*value`.
// The first character that is not 0-9 or A-F (lower-case letters and the
// terminator included) ends the conversion; the value reached so far stands.
void hexByte(unsigned char *value, const char *str);

// ISP messages and ISP frames: how everything said to and heard from the
// video processor is laid out.
//
// A message is an array of 16-bit words: word 0 holds the parameter count N
// (bits 15..12) and the message code (bits 11..0), words 1..N+1 the
// parameters, word N+2 the checksum. On the line its bytes (each word low
// byte first) are stuffed between "=G" and a carriage return so that neither
// marker occurs inside.
#pragma once

typedef unsigned short IspWord;

// Message words 0 that the jobs send.
const IspWord ISP_SET_MODE = 0x5502;
const IspWord ISP_MODE_STATUS_REQUEST = 0x0632;
const IspWord ISP_DATA_BLOCK = 0xF501;
const IspWord ISP_DRIVER_BLOCK = 0x950D;
const IspWord ISP_CALL_DRIVER = 0x3802;
const IspWord ISP_READ_BLOCK = 0x0639;
const IspWord ISP_DEVICE_NAME_QUERY = 0x0633;
const IspWord ISP_VXP_STATUS_QUERY = 0x062F;
const IspWord ISP_CALIBRATION_QUERY = 0x161A;

// Set ISP Mode, word 1.
const IspWord ISP_MODE_WRITE = 0x0100;
const IspWord ISP_MODE_READ_BACK = 0x0200;

// Answer codes (low 12 bits of word 0).
const IspWord ISP_NACK = 0x002;
const IspWord ISP_READ_BLOCK_ANSWER = 0x73A;
// A NACK whose word 2 holds this value reports a GSPI time-out.
const IspWord ISP_GSPI_TIMEOUT = 0x1234;

const int ISP_MAX_WORDS = 18; // a message with 15 parameters
const int ISP_MAX_BYTES = 2 * ISP_MAX_WORDS;
// Longest frame for the longest message, plus the encoder's NUL.
const int ISP_MAX_FRAME = 2 * ISP_MAX_BYTES + 4;

const unsigned char ISP_FRAME_START = 0x3D;  // "="
const unsigned char ISP_FRAME_START2 = 0x47; // "G"
const unsigned char ISP_FRAME_END = 0x0D;

// Words in a message: parameter count + 3.
inline int ispWordCount(IspWord word0) { return (word0 >> 12) + 3; }
// Message code: the low 12 bits of word 0.
inline IspWord ispCode(IspWord word0) { return word0 & 0x0FFF; }

// Writes the checksum into word N+2.
void createChecksum(IspWord *msg);
// True when word N+2 is the checksum of words 0..N+1.
bool checksumOK(const IspWord *msg);

// Stuffs `length` message bytes into a whole frame in `encoded` (room for
// 2 * length + 4 bytes: markers and the uncounted NUL). Returns the frame
// length, markers included.
int yEncode(unsigned char *encoded, const unsigned char *data, int length);
// Un-stuffs `length` body bytes (a frame without its markers) into
// `decoded` (room for `length` bytes). Returns the bytes written.
int yDecode(unsigned char *decoded, const unsigned char *data, int length);

// Prints the message's words as "0x%04x " each, then a newline.
void printMsg(const IspWord *msg);

// The platform interfaces the updater uses: serial port, files, time and
// console. On Windows they are the real Win32 and C runtime calls. Elsewhere
// a small layer of ours (posix/) gives the same names the meaning the
// updater relies on, on termios and poll().
//
// Reads on a serial handle follow the Windows COMMTIMEOUTS rules:
//   {MAXDWORD, MAXDWORD, N}  returns at once with what has arrived; with
//                            nothing waiting, returns with the first byte
//                            that arrives within N ms, or with none.
//   {0, M, C}                waits up to M * count + C ms for the count.
//   {MAXDWORD, 0, 0}         returns at once with what has arrived.
// A read that returns fewer bytes than asked timed out; that is no failure.
//
// The serial calls below are made by the port's own functions only
// (link/port.cpp), which also write the wire trace (link/trace.cpp).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32

#include <conio.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>

// The command interpreter's PAUSE: "Press any key to continue . . . ". The
// interpreter writes to the console itself: what the program printed goes
// out first, so that redirected output keeps its order.
inline void systemPause() {
  std::fflush(stdout);
  std::system("PAUSE");
}

// Windows ports are named COMn only.
inline bool isDevicePath(const char *) { return false; }

// The error codes a serial call gets once its device has gone: a USB
// adapter pulled out, or its driver's device removed.
inline bool portHasGone() {
  switch (GetLastError()) {
  case ERROR_ACCESS_DENIED: // FTDI's driver, after the unplug
  case ERROR_BAD_COMMAND:   // usbser.sys
  case ERROR_GEN_FAILURE:
  case ERROR_OPERATION_ABORTED:
  case ERROR_DEVICE_NOT_CONNECTED:
  case ERROR_DEVICE_REMOVED:
    return true;
  default:
    return false;
  }
}

// `file`, when it is a file on a disk; null otherwise (a device such as
// CON, NUL or COM1), the file closed and errno set.
inline FILE *onlyDiskFile(FILE *file) {
  if (file != nullptr &&
      GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
    std::fclose(file);
    errno = EINVAL;
    return nullptr;
  }
  return file;
}

// Opens the file `name` for reading ("rb"); null, with errno set, when it
// cannot or when the name is a device.
inline FILE *openInputFile(const char *name) { return onlyDiskFile(std::fopen(name, "rb")); }

// Creates, or empties, the file `name` for writing; null, with errno set,
// when it cannot or when the name is a device.
inline FILE *createRegularFile(const char *name) { return onlyDiskFile(std::fopen(name, "wb")); }

// Windows has only the error number, which the trace shows.
inline const char *lastErrorName() { return ""; }

// A COM port's device is its own name.
inline void portDevice(LPCSTR name, char *into, size_t size) {
  std::snprintf(into, size, "%s", name);
}

// Where the operator lowers a USB serial adapter's latency timer.
inline const char *latencyTimerPlace() {
  return "in the Device Manager, the port's Properties, then Port Settings, "
         "Advanced, Latency Timer";
}

// The usage text's part on ports: how a port is named here.
inline const char *portHelp() {
  return "Ports on Windows:\n"
         "  COMn                the port's name: COM1, COM2, ... (see --list-ports)\n"
         "\n"
         "More in README.txt, beside updater.exe.\n";
}

#else

#include <cstdint>

typedef uint32_t DWORD;
typedef int BOOL;
typedef unsigned char BYTE;
typedef void *HANDLE;
typedef DWORD *LPDWORD;
typedef const char *LPCSTR;
typedef const void *LPCVOID;
typedef void *LPVOID;
typedef struct OVERLAPPED_ *LPOVERLAPPED;
typedef struct SECURITY_ATTRIBUTES_ *LPSECURITY_ATTRIBUTES;

#define TRUE 1
#define FALSE 0
#define MAXDWORD 0xFFFFFFFFu
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(-1))
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x80u

#define ERROR_SUCCESS 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_GEN_FAILURE 31u

#define NOPARITY 0
#define ONESTOPBIT 0
#define RTS_CONTROL_DISABLE 0
#define RTS_CONTROL_ENABLE 1

// Serial line settings: the fields the updater reads or sets.
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  DWORD fRtsControl : 2;
};
typedef DCB *LPDCB;

// Serial time-outs, in milliseconds, with the Windows meaning.
struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};
typedef COMMTIMEOUTS *LPCOMMTIMEOUTS;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL CloseHandle(HANDLE h);
BOOL GetCommState(HANDLE h, LPDCB dcb);
BOOL SetCommState(HANDLE h, LPDCB dcb);
BOOL SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS timeouts);
BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
DWORD GetLastError();
void SetLastError(DWORD code);
DWORD GetFileAttributesA(LPCSTR name);
DWORD GetFileSize(HANDLE h, LPDWORD high);

// Monotonic milliseconds, unsigned 32-bit, wrapping.
DWORD GetTickCount();
void Sleep(DWORD ms);
// Milliseconds of real time, for timing the line: unlike GetTickCount it
// keeps its real pace under UPDATER_TIME_SCALE, since the wire does.
DWORD timeGetTime();

// Where the operator lowers a USB serial adapter's latency timer: the
// command that writes the open port's sysfs latency_timer.
const char *latencyTimerPlace();

// One key without echo. When standard input is not a terminal, one byte of
// it. At the end of input it returns EOF at once.
int _getch();

// True when the last failed serial call failed because the port itself has
// gone (EIO, ENXIO, ENODEV: an adapter unplugged, a line hung up).
bool portHasGone();

// Opens the regular file `name` for reading ("rb"). Null, with errno set,
// when it cannot, or when the name is anything else (a FIFO, a device such
// as /dev/zero, a directory): an update file is always a plain file.
FILE *openInputFile(const char *name);

// Creates, or empties, the regular file `name` for writing (mode 0644),
// without following a symbolic link and without waiting on a FIFO. Null,
// with errno set, when it cannot, or when the name is anything else.
FILE *createRegularFile(const char *name);

// The name of the system error behind the last failed call ("EIO"), "" when
// there is none.
const char *lastErrorName();

// The device that the port name `name` ("\\.\COM1") opens, links resolved
// where it exists, into `into`.
void portDevice(LPCSTR name, char *into, size_t size);

// Prints "Press any key to continue . . . " and waits for a key.
void systemPause();

// True when a port word names a device by its path ("/dev/ttyUSB0"); the
// word is then opened as typed.
bool isDevicePath(const char *word);

// The usage text's part on ports: how a port is named here, with the
// variables that change it, and where the manual is.
const char *portHelp();

#endif

// A serial port as `updater --list-ports` shows it; an empty field is
// unknown or does not apply on this platform.
struct SerialPortEntry {
  std::string device;     // the port: /dev/ttyUSB0, or COM3 on Windows
  std::string portWords;  // the COMn words that open it (Linux): "COM1"
  std::string kind;       // its driver (ftdi_sio, 8250, pseudo-terminal),
                          // or on Windows its friendly name
  std::string usb;        // USB vendor:product and serial number
  std::string stableName; // its /dev/serial/by-id name
  std::string use;        // "free", or what holds it
  std::string access;     // whether this user may open it
};

// The serial ports the system knows: on Linux the kernel's (posix/portList.cpp),
// then those that only a COMn entry of the port directory leads to; on
// Windows those of its device map (windows.cpp). Numbers in the names are
// in their order: ttyUSB2 before ttyUSB10, COM2 before COM10.
std::vector<SerialPortEntry> serialPorts();

// One key without echo, once everything printed so far has gone out: the
// prompt before a key wait keeps its place when the output is redirected.
inline int readKey() {
  std::fflush(stdout);
  return _getch();
}

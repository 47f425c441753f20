// What the Windows program adds to the Win32 API: the clock's resolution
// for the run, and the list of the system's COM ports.
//
// The clock: Sleep(1) and a 1 ms read time-out last a whole clock tick
// (about 15.6 ms) on a default system. The run raises the timer resolution
// to 1 ms from its start to its exit.
#include "platform/platform.h"

#include <initguid.h> // defines GUID_DEVCLASS_PORTS of devguid.h here

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdlib>

namespace {

const UINT TIMER_RESOLUTION_MS = 1;

struct TimerResolution {
  TimerResolution() { timeBeginPeriod(TIMER_RESOLUTION_MS); }
  ~TimerResolution() { timeEndPeriod(TIMER_RESOLUTION_MS); }
} timerResolution;

// Where Windows lists the serial ports present: one value a port, its data
// the port's name ("COM3").
const char SERIAL_PORTS_KEY[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const DWORD NAME_SIZE = 256;

std::vector<SerialPortEntry> portsOfTheDeviceMap() {
  std::vector<SerialPortEntry> ports;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERIAL_PORTS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return ports;
  for (DWORD index = 0;; ++index) {
    char value[NAME_SIZE];
    BYTE name[NAME_SIZE] = {};
    DWORD valueSize = sizeof value, nameSize = sizeof name - 1, type = 0;
    const LONG rc = RegEnumValueA(key, index, value, &valueSize, nullptr, &type, name, &nameSize);
    if (rc == ERROR_NO_MORE_ITEMS)
      break;
    if (rc != ERROR_SUCCESS || type != REG_SZ)
      continue;
    SerialPortEntry port;
    port.device = reinterpret_cast<char *>(name);
    ports.push_back(port);
  }
  RegCloseKey(key);
  return ports;
}

// The "PortName" of a device of the Ports class: "COM3", "LPT1".
std::string portNameOf(HDEVINFO devices, SP_DEVINFO_DATA *device) {
  HKEY key = SetupDiOpenDevRegKey(devices, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE)
    return "";
  char name[NAME_SIZE] = {};
  DWORD size = sizeof name - 1, type = 0;
  const LONG rc =
      RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE *>(name), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ ? name : "";
}

// Each port's friendly name ("USB Serial Port (COM3)") from the devices of
// the Ports class that are present.
void addFriendlyNames(std::vector<SerialPortEntry> *ports) {
  HDEVINFO devices = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE)
    return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    const std::string name = portNameOf(devices, &device);
    BYTE friendly[NAME_SIZE] = {};
    if (name.empty() ||
        !SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, nullptr, friendly,
                                           sizeof friendly - 1, nullptr))
      continue;
    for (SerialPortEntry &port : *ports)
      if (port.device == name)
        port.kind = reinterpret_cast<char *>(friendly);
  }
  SetupDiDestroyDeviceInfoList(devices);
}

// COM2 before COM10.
bool byNumber(const SerialPortEntry &a, const SerialPortEntry &b) {
  const size_t prefix = sizeof "COM" - 1;
  const long na =
      a.device.size() > prefix ? std::strtol(a.device.c_str() + prefix, nullptr, 10) : 0;
  const long nb =
      b.device.size() > prefix ? std::strtol(b.device.c_str() + prefix, nullptr, 10) : 0;
  return na != nb ? na < nb : a.device < b.device;
}

} // namespace

std::vector<SerialPortEntry> serialPorts() {
  std::vector<SerialPortEntry> ports = portsOfTheDeviceMap();
  addFriendlyNames(&ports);
  std::sort(ports.begin(), ports.end(), byNumber);
  return ports;
}

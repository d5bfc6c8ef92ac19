#pragma once
// Turns a port name into the device or gateway to talk to.
//
// "COM1".."COM9" (any letter case) are looked up in the optional
// Parameters/Ports.ini, section [Ports], keys COM1.., whose values are a
// device path or "tcp:HOST:PORT". Without an entry COMn is /dev/ttyUSB(n-1)
// when it exists, else /dev/ttyACM(n-1) when it exists, else /dev/ttyS(n-1).
// A device path ("/dev/pts/7") or "tcp:HOST:PORT" is used as it stands.
// An in-memory override (the simulated drive behind COM1) wins over the file.

#include <string>

namespace hx {

struct PortTarget {
    enum class Kind { Serial, Tcp, Invalid };
    Kind kind = Kind::Invalid;
    std::string device;  // Serial
    std::string host;    // Tcp
    int port = 0;        // Tcp

    // "/dev/ttyUSB0" or "tcp:HOST:PORT"; for Invalid, why.
    std::string ToString() const;
};

class PortResolver {
public:
    static PortTarget Resolve(const std::string& name);
    // Whether a port is set up on this computer: COMn with an override, a
    // Ports.ini entry, or a USB serial device (ttyUSB, ttyACM) behind it; a
    // device path or tcp:HOST:PORT as given. The built-in ttySn every PC
    // lists are not counted.
    static bool Configured(const std::string& name);

    // "tcp:HOST:PORT" (HOST may be "[v6 address]"); false when text is not of that form.
    static bool ParseTcp(const std::string& text, std::string* host, int* port);
    // n for "COMn" (1 and up, any letter case), else 0.
    static int ComNumber(const std::string& name);

    static void SetOverride(const std::string& name, const std::string& target);
    static void ClearOverride(const std::string& name);
    static void ClearOverrides();

    // Where COMn's fallback devices are looked for ("/dev"; tests use a folder of their own).
    static void SetDeviceFolder(const std::string& folder);
};

}  // namespace hx

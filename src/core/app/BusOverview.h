#pragma once
// The bus overview: every drive on the configured ports at a glance. Each
// port is searched station by station at the connection window's search
// pace, the ports at once, each by a worker with a link of its own (a line
// carries one request at a time, but two lines do not wait for each
// other). Each drive found is then asked for its identity, its current
// alarm and, when a reference parameter file is given, whether its settings
// differ from the file's. A refresh asks the known drives for their alarms
// only.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/link/DriveIdentity.h"
#include "core/params/ParameterFile.h"
#include "core/params/ParameterTransfer.h"
#include "core/util/Job.h"

class CParameter;
class CQXCOM;

namespace hx {

// One drive as the overview knows it.
struct BusDrive {
    std::string port;  // as the user names it: "COM1", "tcp:10.0.0.5:502"
    int station = 0;
    bool identified = false;  // the identity was read completely
    DriveIdentity identity;
    std::optional<int> alarm;  // the current alarm (0: none); nullopt: no answer
    enum class Reference {
        NotAsked,  // no reference file, or not read yet
        Same,      // every setting of the file as the drive holds it
        Differs,   // `differences` settings differ
        Unread,    // the drive's parameters could not be read
    } reference = Reference::NotAsked;
    int differences = 0;
};

struct BusScanRequest {
    std::vector<std::string> ports;
    std::string baud = "38400";
    uint16_t receiveTimeOut = 50;
    int firstStation = 0, lastStation = 63;
    std::chrono::milliseconds pace{50};  // one station per pace, as the search has always gone
    // The settings to compare each drive with (a parameter file's lines).
    std::optional<ParameterFileContents> reference;
    // The program's own link, closed on the worker before the scan opens the
    // ports (closing may wait out the late replies of a time-out).
    CQXCOM* closeFirst = nullptr;
};

struct BusScanCallbacks {
    // A station asked on a port, found or not (at the search pace).
    std::function<void(const std::string& port, int station, bool found)> searched;
    // A drive's row, sent again whenever more of it is known.
    std::function<void(const BusDrive& drive)> drive;
    // A port that would not open.
    std::function<void(const std::string& port, const std::string& reason)> portFailed;
    // Everything done or stopped (stopped: true when asked to stop).
    std::function<void(bool stopped)> finished;
};

// Why a port would not open, told apart so that a window can say it in its
// own language: the device is not there, another program holds it, the user
// may not open it, or anything else (the system's text is all there is).
enum class PortFailure { Missing, Busy, NoPermission, Other };
PortFailure ClassifyPortFailure(const std::string& port, const std::string& reason);

// The settings of the file that the drive's table holds otherwise, read
// with the drive model's types (a 32-bit value is two words); only the
// addresses the file names count.
int CountSettingDifferences(const ParameterFileContents& reference, const CParameter& drive,
                            const std::string& driveModel);

class BusScanJob : public Job {
public:
    // Searches every port of the request and reports each drive found.
    bool scan(BusScanRequest request, BusScanCallbacks callbacks);
    // Reads the current alarm of each drive again (same link settings).
    bool refreshAlarms(std::vector<BusDrive> drives, BusScanRequest link, BusScanCallbacks callbacks);
};

}  // namespace hx

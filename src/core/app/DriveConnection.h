#pragma once
// What connecting reads from a drive once it has answered: its identity
// into the program-wide state and its attribute blocks into the table.

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/link/DriveIdentity.h"
#include "core/params/AttributeBlocks.h"

class CQXCOM;
class CParameter;

namespace hx {

struct ConnectedDriveReport {
    DriveIdentity identity;
    AttributeBlocksResult blocks;
    // "Read attribute block1 fault!..." texts to show; the connection goes on.
    std::vector<std::string> attributeMessages;
    // Whether the model's parameter types were registered in the table.
    bool typesRegistered = false;
    std::string typesError;
    // A run test that did not end normally (the program was killed, the line
    // broke) left the drive's watchdog armed: what became of its own values.
    std::string watchdogRestored;
    // And the drive stopped its motor by itself: its communication alarm is
    // active (the window offers to clear it).
    bool communicationAlarm = false;
};

ConnectedDriveReport ReadConnectedDrive(CQXCOM& comm, uint8_t station, CParameter& table);

// The whole connect sequence, for a worker thread: open the port (already
// configured), online mode and the reply time-out, the check that the
// station answers (the port is closed again when it does not), then
// answered() and the identity and attribute blocks.
struct ConnectOutcome {
    enum class Step { OpenFailed, NoAnswer, Connected } step = Step::OpenFailed;
    ConnectedDriveReport report;  // when Connected
};
ConnectOutcome ConnectToDrive(CQXCOM& comm, uint8_t station, uint16_t receiveTimeOut, CParameter& table,
                              const std::function<void()>& answered);

// Asks stations first..last in turn on the open port, one per `pace`, and
// hands each (station, found) to `each`, which returns false to end there.
// False when stopped.
bool AskStations(CQXCOM& comm, int first, int last, std::chrono::milliseconds pace, std::stop_token stop,
                 const std::function<bool(int station, bool found)>& each);

// The station search, for a worker thread, at the pace of one station per
// `pace`: opens the port (already configured), asks stations first..last in
// turn, reports each (station, found) and stops at the first drive found,
// then closes the port. The station found; -1 when none answered; -2 when
// the port would not open; -3 when stopped.
int SearchStations(CQXCOM& comm, int first, int last, std::chrono::milliseconds pace, std::stop_token stop,
                   const std::function<void(int station, bool found)>& report);

}  // namespace hx

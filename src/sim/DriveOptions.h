#pragma once
// How a simulated drive is made: its identity, its line, the faults it
// injects, its motor and what records it. Every part of the simulator that
// takes a setting from here includes this header alone, so no part depends
// on the server or the in-process wrapper that compose them.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/motor/Machine.h"

namespace hx::sim {

class SimClock;

struct DriveOptions {
    uint8_t station = 63;
    // Several drives on one line (or behind one gateway): one per station
    // listed, each with its own parameters, motor, alarms and section of the
    // state file; requests to any other station go unanswered. Empty: the
    // one drive at `station`. Line settings (pacing, faults, TCP) are the
    // line's, shared by its drives.
    std::vector<uint8_t> stations;
    int stateSection = 0;                       // the drive's section of a shared state file (set per drive of a bus)
    std::string productModel = "HX-KRV4-0750";  // registers 116..122
    std::string driveModel = "KRV4";            // registers 0xFFC0..
    int16_t firmwareRegister = 200;             // register 138 (200 = version 200.0)
    int16_t softwareRegister = 15;              // register 123 (15 = "1.5")
    uint16_t variantCode = 1001;                // register 0xFFBF
    uint16_t aliasSwitch = 4;                   // register 4: the station alias on the front-panel switch
    std::string databasePath;                   // empty: the program's DATA.sqlite; "-": none (all 0, all visible)
    // The drive tunes its current loop itself: register 13 is set in its
    // attribute blocks (it has no row among the model's parameters), so the
    // run-test window offers the auto-tuning switch.
    bool currentAutoTune = true;
    std::string stateFile;                      // non-volatile memory; empty: none kept
    int baud = 0;                               // pace replies as on a line at this rate; 0 = unpaced
    int bitsPerChar = 11;                       // 8 data bits, no parity, 2 stop bits; 0 = from the
                                                // client's line settings on the pseudo-terminal
    double dropRate = 0.0;                      // fraction of requests left unanswered
    double corruptRate = 0.0;                   // fraction of replies with a damaged byte
    int delayMs = 0;                            // extra delay before each reply
    double duplicateRate = 0.0;                 // fraction of replies sent twice (a repeater on the line)
    int duplicateDelayMs = 50;                  // the copy goes 0..this long after the original
    unsigned seed = 1;
    std::set<uint16_t> stuckRegisters;          // storage commands that never clear
    int commandDelayMs = 300;                   // time a storage command keeps its register busy
    std::vector<int> alarms;                    // alarm codes raised at start, in order
    int historyClearDelayMs = 1000;             // time the drive takes to clear its alarm history
    bool historyClearStuck = false;             // the history clear never ends
    std::string tcpListen;                      // "HOST:PORT": also serve Modbus TCP (port 0 picks one)
    std::shared_ptr<SimClock> clock;            // the drive's time; null: real time
    // The motor and what records it.
    std::string motion;                         // what commands the motor: "" or "none" (holds still), "demo"
    double resonanceHz = 300;                   // the load's mechanical resonance
    // The machine's own low swing (a long arm, a gantry), which leaves the
    // motor ringing at about 15 Hz after a hard move; 0: a rigid machine.
    double machineHz = 25;
    // The whole machine (Machine.h), when more than the two figures above
    // describe it; or drawn from a seed. `machine` wins over the seed.
    std::optional<MachineSpec> machine;
    std::optional<unsigned> machineSeed;
    // A machine of its own for a drive of a bus, by station.
    std::map<uint8_t, MachineSpec> stationMachines;
    // Where `halvex-drive-sim --truth FILE` writes the loops' truth.
    std::string truthFile;
    uint16_t sourceMask = 0xFFFF;               // register 52: sources the sampling engine offers
    uint16_t sampleChannels = 4;                // register 99: channels recorded at once (0..4)
    uint16_t sampleCapacity = 8000;             // register 136: points for all channels together (<= 8042)
};

// The machine the drive's motor drives, from its options: `machine`, else
// the one `machineSeed` draws, else the default with the resonance at
// resonanceHz and the low swing at machineHz.
MachineSpec MachineOf(const DriveOptions& options);

}  // namespace hx::sim

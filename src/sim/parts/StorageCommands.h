#pragma once
// The storage commands: 90 stores RAM in the non-volatile copy, 91 restores
// the factory set, 410 makes RAM the factory set.
//
// A command acts only when written with its command value; any other value
// is accepted and ignored (the register keeps reading 0, or the command
// value while a command runs). A command written again while it runs is
// ignored too. The register reads the command value for the command's run
// time; its effect takes place, and the state file is written, when it
// completes. A stuck command never completes.

#include <string>

#include "sim/bus/Part.h"

namespace hx::sim {

class ParameterStore;

class StorageCommands final : public Part {
public:
    // stateSection: the drive's section of a state file shared with other
    // drives of its line (ParameterStore::SaveState); 0: the whole file.
    StorageCommands(ParameterStore& store, std::string stateFile, SimTime runTime, int stateSection = 0);

    std::string_view Name() const override { return "storage commands"; }
    std::vector<AddressRange> Ranges() const override;
    uint8_t Read(uint16_t address, uint16_t& value) override;
    void Write(uint16_t address, uint16_t value, const WriteRequest& request) override;
    // The register reads the value without acting (0 ends a running command
    // without its effect).
    void Poke(uint16_t address, uint16_t value) override;
    void Advance(SimTime now) override;
    std::optional<SimTime> NextDue() const override;

    // By command register; throw std::out_of_range for another register.
    bool Busy(uint16_t reg) const { return Find(reg).current != 0; }
    int Completed(uint16_t reg) const { return Find(reg).completed; }
    void SetStuck(uint16_t reg, bool stuck) { Find(reg).stuck = stuck; }
    void SetRunTime(SimTime runTime) { m_runTime = runTime; }
    // Completes every running command that is not stuck, now.
    void FinishPending();
    // Writes the state file (true without one).
    bool SaveState();

private:
    struct Command {
        uint16_t reg = 0;
        uint16_t value = 0;    // the value that starts it
        uint16_t current = 0;  // what the register reads
        bool running = false;  // takes effect and clears at `due`
        bool stuck = false;
        SimTime due{};
        int completed = 0;
    };

    Command& Find(uint16_t reg);
    const Command& Find(uint16_t reg) const;
    void Complete(Command& c);

    ParameterStore& m_store;
    std::string m_stateFile;
    int m_stateSection = 0;
    SimTime m_runTime;
    SimTime m_now{0};
    Command m_commands[3];
};

}  // namespace hx::sim

#include "core/app/DriveConnection.h"

#include "core/link/DriveHandle.h"
#include "core/runtest/MotionGuard.h"

#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/util/Job.h"
#include "core/params/DriveDefinitions.h"

namespace hx {

ConnectedDriveReport ReadConnectedDrive(CQXCOM& comm, uint8_t station, CParameter& table) {
    ConnectedDriveReport report;
    report.identity = ReadDriveIdentity(comm, station);
    ApplyIdentity(report.identity, &comm);
    report.blocks = ReadAttributeBlocks(DriveHandle(&comm, station, g_firmwareVersion), table);
    // The types describe the whole definition table of the connected model
    // from now on, whatever a window lists; without a database every value
    // is a signed word, and saving or loading files is refused then.
    report.typesRegistered = RegisterModelTypes(g_driveModel, table, &report.typesError);
    if (report.blocks.block1Failed) report.attributeMessages.push_back(report.blocks.Block1Message());
    if (report.blocks.block2Failed || report.blocks.block3Failed)
        report.attributeMessages.push_back(report.blocks.Block23Message());
    return report;
}

ConnectOutcome ConnectToDrive(CQXCOM& comm, uint8_t station, uint16_t receiveTimeOut, CParameter& table,
                              const std::function<void()>& answered) {
    ConnectOutcome outcome;
    if (!comm.OpenCom()) return outcome;
    comm.SetCurrentUseMode(1);
    comm.SetReceiveTimeOut(receiveTimeOut);
    if (!DriveAnswers(comm, station)) {
        comm.CloseCom();
        outcome.step = ConnectOutcome::Step::NoAnswer;
        return outcome;
    }
    if (answered) answered();
    // The drive's own watchdog goes back before anything else happens on it.
    const std::optional<runtest::LeftWatchdog> left =
        runtest::RestoreLeftWatchdog(DriveHandle(&comm, station), comm.PortName());
    outcome.report = ReadConnectedDrive(comm, station, table);
    if (left) {
        outcome.report.watchdogRestored = runtest::LeftWatchdogText(*left);
        outcome.report.communicationAlarm = runtest::LeftCommunicationAlarm(*left);
    }
    outcome.step = ConnectOutcome::Step::Connected;
    return outcome;
}

bool AskStations(CQXCOM& comm, int first, int last, std::chrono::milliseconds pace, std::stop_token stop,
                 const std::function<bool(int station, bool found)>& each) {
    for (int s = first; s <= last; ++s) {
        if (stop.stop_requested()) return false;
        const auto tick = std::chrono::steady_clock::now() + pace;
        const bool found = comm.FindDrive(static_cast<uint8_t>(s), 0) != -1;
        if (!each(s, found)) return true;
        // One station per tick, as the search has always gone.
        if (!SleepUnlessStopped(stop, std::chrono::duration_cast<std::chrono::milliseconds>(
                                          tick - std::chrono::steady_clock::now())))
            return false;
    }
    return true;
}

int SearchStations(CQXCOM& comm, int first, int last, std::chrono::milliseconds pace, std::stop_token stop,
                   const std::function<void(int station, bool found)>& report) {
    if (!comm.OpenCom()) return -2;
    int result = -1;
    const bool ended = AskStations(comm, first, last, pace, stop, [&](int station, bool found) {
        if (report) report(station, found);
        if (found) result = station;
        return !found;
    });
    comm.CloseCom();
    return ended ? result : -3;
}

}  // namespace hx

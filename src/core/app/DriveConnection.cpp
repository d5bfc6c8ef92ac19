#include "core/app/DriveConnection.h"

#include "core/Globals.h"

namespace hx {

ConnectedDriveReport ReadConnectedDrive(CQXCOM& comm, uint8_t station, CParameter& table) {
    ConnectedDriveReport report;
    report.identity = ReadDriveIdentity(comm, station);
    ApplyIdentity(report.identity);
    report.blocks = ReadAttributeBlocks(comm, station, g_firmwareVersion, table);
    if (report.blocks.block1Failed) report.attributeMessages.push_back(report.blocks.Block1Message());
    if (report.blocks.block2Failed || report.blocks.block3Failed)
        report.attributeMessages.push_back(report.blocks.Block23Message());
    return report;
}

}  // namespace hx

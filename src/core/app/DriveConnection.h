#pragma once
// What connecting reads from a drive once it has answered: its identity
// into the program-wide state and its attribute blocks into the table.

#include <cstdint>
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
};

ConnectedDriveReport ReadConnectedDrive(CQXCOM& comm, uint8_t station, CParameter& table);

}  // namespace hx

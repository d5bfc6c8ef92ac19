#pragma once
// Who the drive is: software and firmware version, variant, product and
// drive model, read in the order the drive has always been asked.

#include <cstdint>
#include <string>

#include "core/link/DriveFault.h"
#include "core/protocol/Registers.h"

class CQXCOM;

namespace hx {

inline constexpr uint16_t kRegSoftwareVersion = reg::kSoftwareVersion;
inline constexpr uint16_t kRegFirmwareVersion = reg::kFirmwareVersion;
inline constexpr uint16_t kRegVariantCode = reg::kVariantCode;
inline constexpr uint16_t kRegProductModelFirst = reg::kProductModelFirst;
inline constexpr uint16_t kRegProductModelLast = reg::kProductModelLast;
inline constexpr uint16_t kRegDriveModelFirst = reg::kDriveModelFirst;

struct DriveIdentity {
    std::string softVersionText;      // register 123 / 10, "%.1f"
    float firmwareVersion = 100.0f;   // register 138, at least 100.0
    uint16_t variantCode = 0;         // register 0xFFBF
    std::string productModel;         // registers 116..122
    std::string driveModel;           // registers 0xFFC0..
    bool complete = true;             // every read was answered
    DriveFault fault;                 // how the first unanswered read ended
};

// Whether a drive answers at the station: register 0 gives an answer (a
// register that holds -1 counts). Connecting checks this first.
bool DriveAnswers(CQXCOM& comm, uint8_t station);

// Registers 123, 138, 0xFFBF, 116..122 and 0xFFC0.. in that order. Text
// registers hold two characters, high byte first; a text ends before its
// first byte outside 32..126, the product model after register 122 at the
// latest, the drive model also at a read without answer and at 0xFFFF.
// Not complete when an answer may have been a copy of another (Settle).
DriveIdentity ReadDriveIdentity(CQXCOM& comm, uint8_t station);

// Into g_driveSoftVersion, g_firmwareVersion, g_driveVariantCode,
// g_productModel and g_driveModel; link: the link it was read over.
void ApplyIdentity(const DriveIdentity& identity, const CQXCOM* link = nullptr);
// The link the identity in the globals was last read over (none before).
const CQXCOM* IdentityLink();

}  // namespace hx

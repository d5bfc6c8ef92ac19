#include "core/link/DriveIdentity.h"

#include <atomic>
#include <cstdio>

#include "core/Globals.h"
#include "core/link/CQXCOM.h"

namespace hx {
namespace {

bool printable(int byte) { return byte >= 32 && byte <= 126; }

// Appends the two characters of a text register; false once the text has ended.
bool appendChars(std::string& text, int word) {
    const int high = (word >> 8) & 0xFF;
    const int low = word & 0xFF;
    if (!printable(high)) return false;
    text.push_back(static_cast<char>(high));
    if (!printable(low)) return false;
    text.push_back(static_cast<char>(low));
    return true;
}

}  // namespace

bool DriveAnswers(CQXCOM& comm, uint8_t station) { return comm.Read(station, 0).has_value(); }

DriveIdentity ReadDriveIdentity(CQXCOM& comm, uint8_t station) {
    DriveIdentity id;
    auto read = [&](uint16_t address) {
        const auto r = comm.Read(station, address);
        if (!r && id.complete) {
            id.complete = false;
            id.fault = r.fault;
        }
        return r.has_value() ? static_cast<int>(*r) : -1;
    };

    // Tenths as digits, not through printf: the window's process takes the
    // user's locale, where "%.1f" writes "1,5" into every file saved.
    const int soft = static_cast<int16_t>(read(kRegSoftwareVersion));
    const int tenths = soft < 0 ? -soft : soft;
    id.softVersionText = (soft < 0 ? "-" : "") + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);

    const int firmware = static_cast<int16_t>(read(kRegFirmwareVersion));
    id.firmwareVersion = firmware < 100 ? 100.0f : static_cast<float>(firmware);

    id.variantCode = static_cast<uint16_t>(read(kRegVariantCode));

    for (uint16_t address = kRegProductModelFirst; address <= kRegProductModelLast; ++address)
        if (!appendChars(id.productModel, read(address))) break;

    // A 32-bit counter: the last text register is 0xFFFF, and a 16-bit one
    // would wrap to register 0 and run on.
    for (uint32_t address = kRegDriveModelFirst; address <= 0xFFFF; ++address) {
        const int word = read(static_cast<uint16_t>(address));
        if (word == -1 || !appendChars(id.driveModel, word)) break;
    }
    // Every read here has the same shape, so on a line that repeats frames
    // the copy of one answer passes for the next; the last may be one while
    // its true reply is still on the way (a model text cut short or run on).
    if (id.complete) {
        if (const auto settled = comm.Settle(station); !settled) {
            id.complete = false;
            id.fault = settled.fault;
        }
    }
    return id;
}

namespace {
std::atomic<const CQXCOM*> s_identityLink{nullptr};
}  // namespace

const CQXCOM* IdentityLink() { return s_identityLink.load(); }

void ApplyIdentity(const DriveIdentity& identity, const CQXCOM* link) {
    s_identityLink = link;
    g_driveSoftVersion = identity.softVersionText;
    g_firmwareVersion = identity.firmwareVersion;
    g_driveVariantCode = identity.variantCode;
    g_productModel = identity.productModel;
    g_driveModel = identity.driveModel;
}

}  // namespace hx

// A Modbus RTU reply carries no request number: a reply that arrives after
// its time-out must never pass for the answer to a later request, in the
// same process or in the next one to open the port.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "core/link/CQXCOM.h"
#include "core/link/Transport.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"

using hx::sim::DriveOptions;
using hx::sim::InProcessDrive;

namespace {

constexpr uint8_t kStation = 5;

DriveOptions Options(int baud) {
    DriveOptions o;
    o.station = kStation;
    o.databasePath = "-";
    o.baud = baud;
    return o;
}

void Open(CQXCOM& comm, const std::string& port, uint16_t timeoutMs) {
    comm.ConfigCom(port, "115200", "8", "NONE", "2");
    comm.SetReceiveTimeOut(timeoutMs);
    ASSERT_NE(comm.OpenCom(), 0) << comm.LastErrorText();
}

// Distinct values everywhere, so a reply meant for another request shows.
void Fill(InProcessDrive& drive) {
    for (uint16_t a = 0; a < 150; ++a) drive.Drive().SetRam(a, static_cast<uint16_t>(1000 + a));
    for (uint16_t a = 30000; a < 30250; ++a) drive.Drive().SetRam(a, static_cast<uint16_t>(a - 20000));
}

}  // namespace

TEST(StaleReplies, AlternatingReadsAroundTheTimeOutNeverGetAnotherRequestsData) {
    InProcessDrive drive(Options(115200));
    Fill(drive);
    CQXCOM comm;
    constexpr int kTimeout = 25;
    Open(comm, drive.DevicePath(), kTimeout);

    int wrong = 0, answered = 0, unanswered = 0;
    const int delays[] = {kTimeout - 3, kTimeout, kTimeout + 2, kTimeout + 15, kTimeout * 3 / 2};
    for (int round = 0; round < 1; ++round) {
        for (int delay : delays) {
            drive.Server().SetFaults(0, 0, delay);
            for (int i = 0; i < 2; ++i) {
                const uint16_t a = static_cast<uint16_t>(10 + (i + round) % 2);
                const int v = comm.ReadAddressValue(kStation, a);
                if (!comm.LastRequestAnswered()) {
                    ++unanswered;
                } else {
                    ++answered;
                    if (v != 1000 + a) ++wrong;
                }
                // Whole blocks of 125 registers, one after the other.
                const uint16_t first = static_cast<uint16_t>(30000 + 125 * ((i + round) % 2));
                const auto frame = comm.ReadBigData(kStation, first, 125);
                if (frame.empty()) {
                    ++unanswered;
                    continue;
                }
                ++answered;
                for (int k = 0; k < 125; ++k) {
                    const int word = (frame[3 + 2 * k] << 8) | frame[4 + 2 * k];
                    if (word != first - 20000 + k) {
                        ++wrong;
                        break;
                    }
                }
            }
        }
    }
    EXPECT_EQ(wrong, 0) << answered << " answered, " << unanswered << " unanswered";
    // The quick ones still get through.
    EXPECT_GT(answered, 0);
    drive.Server().SetFaults(0, 0, 0);
    EXPECT_EQ(comm.ReadAddressValue(kStation, 12), 1012);
}

TEST(StaleReplies, ALateReplyNeverReachesTheNextOpeningOfThePort) {
    InProcessDrive drive(Options(0));
    Fill(drive);
    for (int attempt = 0; attempt < 3; ++attempt) {
        {
            CQXCOM first;
            Open(first, drive.DevicePath(), 40);
            drive.Server().SetFaults(0, 0, 70 + 20 * attempt);
            EXPECT_EQ(first.ReadAddressValue(kStation, 20), -1);
            EXPECT_FALSE(first.LastRequestAnswered());
            first.CloseCom();
        }
        drive.Server().SetFaults(0, 0, 0);
        CQXCOM second;
        Open(second, drive.DevicePath(), 100);
        const int v = second.ReadAddressValue(kStation, 21);
        if (second.LastRequestAnswered()) {
            EXPECT_EQ(v, 1021) << "attempt " << attempt;
        }
        // And the line is usable again.
        EXPECT_EQ(second.ReadAddressValue(kStation, 22), 1022);
    }
}

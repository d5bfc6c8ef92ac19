// A Modbus RTU reply carries no request number: a reply that arrives after
// its time-out must never pass for the answer to a later request, in the
// same process or in the next one to open the port, however late the drive
// answers within the link's horizon.

#include <signal.h>

#include <cstdlib>
#include <filesystem>

#include "support/PtyDrive.h"
#include "support/RunProgram.h"

using hx::sim::DriveOptions;
using hx::sim::InProcessDrive;

namespace {

constexpr uint8_t kStation = 5;
constexpr uint16_t kRegister0 = 4321;  // what a search reads; no other register holds it

DriveOptions Options() {
    DriveOptions o;
    o.station = kStation;
    o.databasePath = "-";
    o.baud = 115200;
    return o;
}

// Distinct values everywhere, so a reply meant for another request shows.
void Fill(InProcessDrive& drive) {
    drive.Drive().SetRam(0, kRegister0);
    for (uint16_t a = 9; a < 13; ++a) drive.Drive().SetRam(a, static_cast<uint16_t>(1000 + a));
    for (uint16_t a = 30000; a < 30100; ++a) drive.Drive().SetRam(a, static_cast<uint16_t>(a - 20000));
}

// The link's note of the line lives with the user's state: a folder of the
// test's own, shared by the programs it starts.
class StaleReplies : public ::testing::Test {
protected:
    void SetUp() override {
        m_state = hx::test::BuildBinFolder() + "/../stale-replies-state." + std::to_string(::getpid());
        ::setenv("XDG_STATE_HOME", m_state.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_STATE_HOME");
        std::filesystem::remove_all(m_state);
    }
    // The drive answers at once again: the next program's read gets its own
    // value, never the stale reply of the one before.
    static void NextProgramReadsItsOwnValue(InProcessDrive& drive) {
        drive.Server().ClearFaults();
        auto args = LinkArgs(drive, 400, 600);
        args.insert(args.end(), {"read", "10"});
        const auto second = hx::test::RunCli(args);
        EXPECT_EQ(second.status, 0) << second.err;
        EXPECT_EQ(second.out, "10=1010\n");
    }
    static std::vector<std::string> LinkArgs(const InProcessDrive& drive, int timeoutMs, int horizonMs) {
        return {"--port",    const_cast<InProcessDrive&>(drive).DevicePath(),
                "--baud",    "115200",
                "--station", std::to_string(kStation),
                "--timeout", std::to_string(timeoutMs),
                "--late-horizon-ms", std::to_string(horizonMs)};
    }

    std::string m_state;
};

}  // namespace

TEST_F(StaleReplies, DelaysUpToTenTimeOutsNeverGiveAnotherRequestsValue) {
    constexpr int kTimeout = 20;
    // A horizon well beyond ten time-outs, so a drive thread run late by a
    // loaded machine stays inside it.
    hx::test::PtyDrive link(Options(), kTimeout, 15 * kTimeout);
    InProcessDrive& drive = *link.drive;
    CQXCOM& comm = link.comm;
    Fill(drive);

    int wrong = 0, answered = 0, unanswered = 0;
    const int delays[] = {0, kTimeout / 2, kTimeout, kTimeout * 38 / 10, kTimeout * 10};
    int round = 0;
    for (int delay : delays) {
        drive.Server().AnswerLate(std::chrono::milliseconds(delay));
        const uint16_t a = static_cast<uint16_t>(9 + round % 4);
        const auto v = comm.Read(kStation, a);
        if (!v) {
            ++unanswered;
        } else {
            ++answered;
            if (*v != 1000 + a) ++wrong;
        }
        const uint16_t first = static_cast<uint16_t>(30000 + 50 * (round % 2));
        const auto frame = comm.ReadBigData(kStation, first, 50);
        ++round;
        if (frame.empty()) {
            ++unanswered;
            continue;
        }
        ++answered;
        for (int k = 0; k < 50; ++k)
            if (((frame[3 + 2 * k] << 8) | frame[4 + 2 * k]) != first - 20000 + k) {
                ++wrong;
                break;
            }
    }
    EXPECT_EQ(wrong, 0) << answered << " answered, " << unanswered << " unanswered";
    // The quick ones get through, the late ones fail, and the late replies
    // were seen and dropped.
    EXPECT_GE(answered, 4);
    EXPECT_GE(unanswered, 4);
    EXPECT_GE(comm.GetHealth().late, 4u);
    // The line works again once the drive answers in time (a time-out a
    // loaded machine's drive thread keeps to).
    drive.Server().ClearFaults();
    comm.SetReceiveTimeOut(250);
    EXPECT_EQ(comm.ReadAddressValue(kStation, 12), 1012);
}

TEST_F(StaleReplies, TheDefaultHorizonIsTenTimeOutsWhenThatIsLongerThanASecond) {
    hx::test::PtyDrive link(Options(), 150, 0);
    InProcessDrive& drive = *link.drive;
    CQXCOM& comm = link.comm;
    Fill(drive);
    // A search asks once: the drive's reply comes ten time-outs late.
    drive.Server().AnswerLate(std::chrono::milliseconds(1500));
    EXPECT_EQ(comm.FindDrive(kStation), -1);
    drive.Server().ClearFaults();
    // A long wait for the next reply would catch it, were it sent too soon.
    comm.SetReceiveTimeOut(500);
    EXPECT_EQ(comm.Read(kStation, 10).value_or(0), 1010);
    EXPECT_EQ(comm.GetHealth().late, 1u);
}

// The first program searches, gets no answer in time and ends normally;
// then one is killed after its request, before any answer. Each time the
// next program's read gets its own value.
TEST_F(StaleReplies, TheNextProgramOnThePortNeverGetsTheLastOnesReply) {
    InProcessDrive drive(Options());
    Fill(drive);
    drive.Server().AnswerLate(std::chrono::milliseconds(500));
    auto args = LinkArgs(drive, 50, 600);
    args.insert(args.end(), {"find", "5", "5"});
    const auto first = hx::test::RunCli(args);
    EXPECT_EQ(first.status, 1) << first.err;
    EXPECT_EQ(first.out, "");
    NextProgramReadsItsOwnValue(drive);

    drive.Server().AnswerLate(std::chrono::milliseconds(300));
    const auto seen = drive.Server().GetStats().framesReceived;
    args = LinkArgs(drive, 400, 600);
    args.insert(args.end(), {"find", "5", "5"});
    {
        hx::test::BackgroundProgram killed(hx::test::CliProgram(), args, 0, true);
        hx::test::PollUntil([&] { return drive.Server().GetStats().framesReceived > seen; }, std::chrono::seconds(20));
        killed.Stop(SIGKILL);
    }
    ASSERT_GT(drive.Server().GetStats().framesReceived, seen);
    NextProgramReadsItsOwnValue(drive);
}

// A sweep asks one station after another without waiting for the silent
// ones' late replies: such a reply carries its own station, so the next
// station's read drops it and takes its own answer, and the drive that was
// slow is asked again only once its replies can no longer come.
TEST_F(StaleReplies, AnotherStationsLateReplyIsNeverTakenForAnAnswer) {
    DriveOptions o = Options();
    o.stations = {kStation, kStation + 1};
    hx::test::PtyDrive link(o, 100, 400);
    InProcessDrive& drive = *link.drive;
    CQXCOM& comm = link.comm;
    drive.Drive(kStation).SetRam(10, 1010);
    drive.Drive(kStation + 1).SetRam(10, 2020);
    drive.Drive(kStation + 1).SetRam(11, 2121);
    // Station 5's three tries go unanswered in time; their replies follow.
    drive.Server().AnswerLate(std::chrono::milliseconds(350));
    EXPECT_EQ(comm.ReadAddressValue(kStation, 10), -1);
    drive.Server().ClearFaults();
    // Station 6 is asked at once, the same register and another, while
    // station 5's replies are still on the line.
    const uint64_t lateBefore = comm.GetHealth().late;
    EXPECT_EQ(comm.ReadAddressValue(kStation + 1, 10), 2020);
    EXPECT_EQ(comm.ReadAddressValue(kStation + 1, 11), 2121);
    EXPECT_GT(comm.GetHealth().late, lateBefore);
    // Station 5 itself answers a different read only after its replies are gone.
    EXPECT_EQ(comm.ReadAddressValue(kStation, 11), 0);
    EXPECT_EQ(comm.ReadAddressValue(kStation, 10), 1010);
}

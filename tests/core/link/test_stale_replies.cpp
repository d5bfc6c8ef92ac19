// Replies that are not the answer to the request in hand: an RTU reply
// carries no request number, so a late reply or a repeater's copy must never
// pass for the answer to a later request, in this process or the next.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "core/link/ModbusFrame.h"
#include "core/link/ModbusRtuTransport.h"
#include "core/params/CParameter.h"
#include "core/params/ReadAllJob.h"
#include "core/protocol/Registers.h"
#include "support/PtyDrive.h"
#include "support/RunProgram.h"

using namespace hx::test;
using namespace std::string_literals;
using hx::sim::DriveOptions;
using hx::sim::InProcessDrive;

namespace {

constexpr uint8_t kStation = 5;
constexpr uint16_t kRegister0 = 4321;  // what a search reads; no other register holds it

DriveOptions Options() { return {.station = kStation, .databasePath = "-", .baud = 115200}; }

// Distinct values everywhere, so a reply meant for another request shows.
void Fill(InProcessDrive& drive) {
    drive.Drive().SetRam(0, kRegister0);
    for (uint16_t a = 9; a < 13; ++a) drive.Drive().SetRam(a, static_cast<uint16_t>(1000 + a));
    for (uint16_t a = 30000; a < 30100; ++a) drive.Drive().SetRam(a, static_cast<uint16_t>(a - 20000));
}

// The link's note of the line lives with the user's state: the program
// folder's, shared by the programs the test starts.
class StaleReplies : public ::testing::Test {
protected:
    TempProgramFolder folder;
    // The drive answers at once again: the next program's read gets its own
    // value, never the stale reply of the one before.
    static void NextProgramReadsItsOwnValue(InProcessDrive& drive) {
        drive.Server().ClearFaults();
        const auto second = hx::test::RunCli(LinkArgs(drive, 400, 600, {"read", "10"}));
        EXPECT_EQ(std::tuple(second.status, second.out), std::tuple(0, "10=1010\n"s)) << second.err;
    }
    // The command line's arguments for the drive's line, then the command.
    static std::vector<std::string> LinkArgs(InProcessDrive& drive, int timeoutMs, int horizonMs,
                                             std::initializer_list<std::string> command) {
        std::vector<std::string> args{"--port", drive.DevicePath(), "--baud", "115200", "--station",
                                      std::to_string(kStation), "--timeout", std::to_string(timeoutMs),
                                      "--late-horizon-ms", std::to_string(horizonMs)};
        args.insert(args.end(), command);
        return args;
    }
};

}  // namespace

TEST_F(StaleReplies, DelaysUpToTenTimeOutsNeverGiveAnotherRequestsValue) {
    constexpr int kTimeout = 20;
    // A horizon well beyond ten time-outs, so a drive thread run late by a
    // loaded machine stays inside it.
    hx::test::PtyDrive link(Options(), kTimeout, 15 * kTimeout);
    Fill(*link.drive);

    int wrong = 0, answered = 0, round = 0;
    for (int delay : {0, kTimeout / 2, kTimeout, kTimeout * 38 / 10, kTimeout * 10}) {
        link.drive->Server().AnswerLate(std::chrono::milliseconds(delay));
        const auto a = static_cast<uint16_t>(9 + round % 4);
        const auto v = link.comm.Read(kStation, a);
        answered += v.has_value();
        wrong += v && *v != 1000 + a;
        const auto first = static_cast<uint16_t>(30000 + 50 * (round++ % 2));
        const auto frame = link.comm.ReadBigData(kStation, first, 50);
        answered += !frame.empty();
        for (int k = 0; k < 50 && !frame.empty(); ++k) wrong += ((frame[3 + 2 * k] << 8) | frame[4 + 2 * k]) != first - 20000 + k;
    }
    EXPECT_EQ(wrong, 0) << answered << " of 10 answered";
    // The quick ones get through, the late ones fail (at least 4 of the 10),
    // and the late replies were seen and dropped.
    EXPECT_TRUE(answered >= 4 && answered <= 6) << answered;
    EXPECT_GE(link.comm.GetHealth().late, 4u);
    // The line works again once the drive answers in time (a time-out a
    // loaded machine's drive thread keeps to).
    link.drive->Server().ClearFaults();
    link.comm.SetReceiveTimeOut(250);
    EXPECT_EQ(link.comm.ReadAddressValue(kStation, 12), 1012);
}

TEST_F(StaleReplies, TheDefaultHorizonIsTenTimeOutsWhenThatIsLongerThanASecond) {
    hx::test::PtyDrive link(Options(), 150, 0);
    Fill(*link.drive);
    // A search asks once: the drive's reply comes ten time-outs late.
    link.drive->Server().AnswerLate(std::chrono::milliseconds(1500));
    EXPECT_EQ(link.comm.FindDrive(kStation), -1);
    link.drive->Server().ClearFaults();
    // A long wait for the next reply would catch it, were it sent too soon.
    link.comm.SetReceiveTimeOut(500);
    EXPECT_EQ(link.comm.Read(kStation, 10).value_or(0), 1010);
    EXPECT_EQ(link.comm.GetHealth().late, 1u);
}

// The first program searches, gets no answer in time and ends normally;
// then one is killed after its request, before any answer. Each time the
// next program's read gets its own value.
TEST_F(StaleReplies, TheNextProgramOnThePortNeverGetsTheLastOnesReply) {
    InProcessDrive drive(Options());
    Fill(drive);
    drive.Server().AnswerLate(std::chrono::milliseconds(500));
    const auto first = hx::test::RunCli(LinkArgs(drive, 50, 600, {"find", "5", "5"}));
    EXPECT_EQ(std::tuple(first.status, first.out), std::tuple(1, ""s)) << first.err;
    NextProgramReadsItsOwnValue(drive);

    drive.Server().AnswerLate(std::chrono::milliseconds(300));
    const auto seen = drive.Server().GetStats().framesReceived;
    {
        hx::test::BackgroundProgram killed(hx::test::CliProgram(), LinkArgs(drive, 400, 600, {"find", "5", "5"}), 0, true);
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
    hx::test::PtyDrive link(
        {.station = kStation, .stations = {kStation, kStation + 1}, .databasePath = "-", .baud = 115200}, 100, 400);
    for (auto [station, a, v] : {std::tuple{kStation, 10, 1010}, {kStation + 1, 10, 2020}, {kStation + 1, 11, 2121}})
        link.drive->Drive(static_cast<uint8_t>(station)).SetRam(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
    // Station 5's three tries go unanswered in time; their replies follow.
    link.drive->Server().AnswerLate(std::chrono::milliseconds(350));
    EXPECT_EQ(link.comm.ReadAddressValue(kStation, 10), -1);
    link.drive->Server().ClearFaults();
    // Station 6 is asked at once, the same register and another, while
    // station 5's replies are still on the line.
    const uint64_t lateBefore = link.comm.GetHealth().late;
    EXPECT_EQ(link.comm.ReadAddressValue(kStation + 1, 10), 2020);
    EXPECT_EQ(link.comm.ReadAddressValue(kStation + 1, 11), 2121);
    EXPECT_GT(link.comm.GetHealth().late, lateBefore);
    // Station 5 itself answers a different read only after its replies are gone.
    EXPECT_EQ(link.comm.ReadAddressValue(kStation, 11), 0);
    EXPECT_EQ(link.comm.ReadAddressValue(kStation, 10), 1010);
}

namespace {

// Distinct words, with two runs of blocks of zeros in the upper range: a
// copy of a block of zeros may stand in for the next block of zeros
// harmlessly, but not for the distinct block after them.
uint16_t Truth(int address) {
    if (address < 30000) return static_cast<uint16_t>(address * 3 + 1);
    const int block = (address - 30000) / 50;
    return (block >= 4 && block < 8) || (block >= 20 && block < 24) ? 0 : static_cast<uint16_t>(address - 20000);
}

}  // namespace

TEST(RepeatedReplies, NoCompletedReadHoldsACopysWords) {
    for (auto [rate, maxDelayMs, baud] : {std::tuple{0.3, 50, 38400}, {0.3, 10, 115200}}) {
        SCOPED_TRACE(std::to_string(maxDelayMs) + " ms late, " + std::to_string(baud) + " baud");
        PtyDrive link({.station = kStation, .databasePath = "-", .baud = baud, .seed = 7}, 100, 300);
        for (int a = 0; a < 150; ++a) link.Vd().SetRam(static_cast<uint16_t>(a), Truth(a));
        for (int a = 30000; a < 32000; ++a) link.Vd().SetRam(static_cast<uint16_t>(a), Truth(a));
        link.Server().DuplicateReplies(rate, std::chrono::milliseconds(maxDelayMs));

        int completed = 0, wrong = 0;
        for (int dump = 0; dump < 2; ++dump) {
            CParameter table;
            if (hx::ReadAll(link.Link(200.0f), table).status != hx::TransferStatus::Completed) continue;
            ++completed;
            // The settings: the other registers of the range are the drive's own.
            for (int a : {0, 30000})
                for (int k = 0; k < (a ? 2000 : 150); ++k)
                    if (const auto r = static_cast<uint16_t>(a + k); hx::IsSettingRegister(r))
                        wrong += static_cast<uint16_t>(table.Slot(r)) != Truth(r);
        }
        EXPECT_EQ(wrong, 0);
        // The copies went out, and the reads still got through.
        EXPECT_TRUE(link.Server().GetStats().repliesDuplicated >= 10u && completed >= 1) << completed;
    }
}

// 125-register blocks on a line that repeats, loses or garbles: each block
// read holds the drive's own words or fails, never another block's.
TEST(RepeatedReplies, NoBlockHoldsAnotherBlocksWords) {
    using std::chrono::milliseconds;
    using Line = std::function<void(hx::sim::DriveServer&, int block)>;  // before each block
    const std::pair<const char*, Line> cases[] = {
        {"every reply copied up to 40 ms later, block 1's reply lost",
         [](auto& s, int k) { k == 0 ? s.DuplicateReplies(1.0, milliseconds(40)) : s.LoseReplies(k == 1); }},
        {"a damaged stray frame while block 0's late reply is on its way", [](auto& s, int k) {
             if (k == 0) s.AnswerLate(milliseconds(150)), s.StrayFrame({0x3F, 3, 2, 0, 0, 0, 0}, milliseconds(20));
         }},
        {"block 1's reply lost behind a copy, then a slower drive", [](auto& s, int k) {
             k == 0 ? s.DuplicateReplies(1.0, milliseconds(40)) : s.LoseReplies(k == 1);
             s.AnswerLate(milliseconds(k >= 2 ? 60 : 0));
         }},
    };
    for (const auto& [what, line] : cases)
        for (unsigned seed : {3u, 6u}) {
            PtyDrive link({.station = kStation, .databasePath = "-", .baud = 38400, .seed = seed}, 300, 150);
            for (int a = 30500; a < 31000; ++a) link.Vd().SetRam(static_cast<uint16_t>(a), Truth(a));
            int wrong = 0;
            for (int k = 0, first = 30500; k < 4; ++k, first += 125) {
                line(link.Server(), k);
                uint16_t w[125];
                const bool ok = link.comm.ReadWords(kStation, static_cast<uint16_t>(first), 125, w).ok();
                for (int i = 0; ok && i < 125; ++i) wrong += w[i] != Truth(first + i);
            }
            EXPECT_EQ(wrong, 0) << what << ", seed " << seed;
        }
}

// How long the link listens for a true reply behind a frame that may be a
// copy, on a scripted line that keeps time (each frame written when its last
// byte would have arrived): a copy of the block before, then the drive's
// reply to this block. A read may take the copy only where nothing could
// tell yet, and then the Settle that ends a whole-table read fails.
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
constexpr uint16_t kWords = 4;
constexpr size_t kReplyBytes = 5 + 2 * kWords;

// 8N1: ten bits a character.
microseconds Wire(int baud, size_t bytes) { return microseconds(bytes * 10 * 1000000 / baud); }

std::vector<uint8_t> Reply(uint16_t address) {
    uint16_t words[kWords];
    for (uint16_t k = 0; k < kWords; ++k) words[k] = static_cast<uint16_t>((address + k) * 3 + 1);
    return hx::BuildReadReplyFrame(kStation, words, kWords);
}

}  // namespace

TEST(RepeatedReplies, ACopyIsListenedPastForTheTrueReply) {
    using std::chrono::milliseconds;
    struct Case {
        const char* what;
        int baud;
        bool copiesSeenBefore;         // the line has already shown a copy
        microseconds copyAt, replyAt;  // after the reply's time on the line
        bool readRight;                // else it may take the copy, and the Settle after it fails
        uint16_t replyWords = 200;     // the block whose words the reply says (30: words said before)
        bool nextProgram = false;      // block 200 read by the next program on the port
    };
    // The drive answers 1 ms after the request; at 1200 baud the silence
    // after a frame (3.5 characters) is 29 ms.
    const Case cases[] = {
        {"a copy on time, the reply right behind it", 19200, false, milliseconds(2), milliseconds(2) + microseconds(500), false},
        {"a copy at once, the reply at the drive's pace", 19200, false, -Wire(19200, kReplyBytes), milliseconds(1), true},
        {"a copy on time, the reply 15 ms behind, copies seen", 19200, true, milliseconds(2), milliseconds(17), true},
        {"a copy at once, the reply after the drive's pace", 1200, false, -Wire(1200, kReplyBytes), milliseconds(18), false},
        {"a copy on time, the reply 5 ms behind in words said before", 19200, false, milliseconds(2), milliseconds(7), false, 30},
        {"a copy at once to the next program", 19200, false, -Wire(19200, kReplyBytes), milliseconds(1), true, 200, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        TempProgramFolder folder;  // the programs' note of the line
        const auto open = [&, port = std::string(::ptsname(master))] {
            auto l = std::make_unique<hx::ModbusRtuTransport>(hx::SerialSettings{port, c.baud}, folder.StateFolder());
            l->SetResponseTimeout(milliseconds(c.baud < 9600 ? 400 : 100));
            l->Open();
            return l;
        };
        auto link = open();
        const microseconds reply = Wire(c.baud, kReplyBytes);
        const microseconds silence = Wire(c.baud, 35) / 10;

        // Blocks answered at the drive's pace (one, where asked, copied right
        // behind its reply), block 100, then block 200 after a copy of 100.
        const uint16_t order[] = {0, 10, 20, 30, 100, 200};
        int tooSoon = 0;  // requests sent before the silence after a reply
        std::atomic<bool> over = false;  // the reads ended early: the script ends with them
        std::thread line([&] {
            Clock::time_point lastFrame{};
            for (uint16_t address : order) {
                uint8_t request[8];
                for (size_t got = 0; got < sizeof request;) {
                    const ssize_t n = ::read(master, request + got, sizeof request - got);
                    // No program holds the port while the next one opens it.
                    if (n < 0 && errno == EIO && c.nextProgram && address == 200 && !over) continue;
                    if (n <= 0) return;
                    if (got == 0) tooSoon += Clock::now() < lastFrame + silence;
                    got += static_cast<size_t>(n);
                }
                const auto end = Clock::now() + Wire(c.baud, sizeof request) + milliseconds(1) + reply;
                // Block 20 answered 5 ms late: the drive's usual pace leaves
                // room for a late scheduler.
                std::vector<std::pair<microseconds, std::vector<uint8_t>>> frames{
                    {address == 20 ? microseconds(5000) : microseconds(0), Reply(address)}};
                if (address == 30 && c.copiesSeenBefore) frames.push_back({microseconds(200), Reply(address)});
                if (address == 200) frames = {{c.copyAt, Reply(100)}, {c.replyAt, Reply(c.replyWords)}};
                bool replied = false;
                for (const auto& [at, frame] : frames) {
                    // The last moment spun rather than slept: a loaded
                    // machine wakes a sleeper late.
                    std::this_thread::sleep_until(end + at - milliseconds(2));
                    while (Clock::now() < end + at) continue;
                    // A copy right behind the reply may still be on its
                    // way when the next request goes: only replies count.
                    if (!replied && frame == Reply(address)) lastFrame = Clock::now();
                    replied = replied || frame == Reply(address);
                    ASSERT_EQ(::write(master, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
                }
            }
        });
        // A read that fails ends the reads; the script, waiting for the
        // next request, ends when the port is let go.
        const bool readAll = [&] {
            uint16_t words[kWords]{};
            for (uint16_t address : {0, 10, 20, 30, 100}) {
                EXPECT_TRUE(link->ReadRegisters(kStation, address, kWords, words)) << address << link->LastErrorText();
                if (words[0] != address * 3 + 1) return false;
            }
            if (c.nextProgram) link = (link->Close(), open());
            EXPECT_TRUE(link->ReadRegisters(kStation, 200, kWords, words)) << link->LastErrorText();
            const bool right = words[0] == c.replyWords * 3 + 1;
            EXPECT_TRUE(right || !link->Settle(kStation)) << "a copy's words taken for block 200, and the read settled";
            EXPECT_TRUE(right || !c.readRight);
            return true;
        }();
        EXPECT_TRUE(readAll) << "a block before 200 read wrong or not at all";
        over = !readAll;
        if (over) link->Close();
        line.join();
        EXPECT_EQ(tooSoon, 0);
        link->Close();
        ::close(master);
    }
}

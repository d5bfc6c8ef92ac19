// The simulated drive over the wire (libmodbus and raw frames on a real
// pseudo-terminal, Modbus TCP on loopback), and the halvex-drive-sim program.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <signal.h>

#include <filesystem>

#include "core/link/ModbusFrame.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/ModbusPdu.h"
#include "sim/VirtualDrive.h"
#include "support/ModbusClient.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;
using hx::sim::DriveOptions;
using hx::sim::InProcessDrive;
using Clock = std::chrono::steady_clock;

namespace {

using Client = hx::test::ModbusClient;

// The slave side opened by hand, for frames libmodbus would never send.
class RawLine {
public:
    explicit RawLine(const std::string& device) {
        m_fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0) throw std::runtime_error("open " + device);
        termios t{};
        ::tcgetattr(m_fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_fd, TCSANOW, &t);
        ::tcflush(m_fd, TCIOFLUSH);
    }
    ~RawLine() { ::close(m_fd); }
    void Send(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Everything that arrives until 30 ms of silence (or nothing in firstMs).
    std::vector<uint8_t> Receive(int firstMs = 300) {
        std::vector<uint8_t> got;
        for (int wait = firstMs;; wait = 30) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, wait) <= 0) return got;
            uint8_t buf[512];
            ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0) return got;
            got.insert(got.end(), buf, buf + n);
        }
    }

    std::vector<uint8_t> Ask(const std::vector<uint8_t>& bytes) {
        Send(bytes);
        return Receive();
    }

private:
    int m_fd = -1;
};

// The PDU with its station in front and its CRC behind.
std::vector<uint8_t> Framed(std::vector<uint8_t> frame) {
    hx::AppendCrc(frame);
    return frame;
}

class DriveOnWire : public ::testing::Test {
protected:
    hx::test::TempProgramFolder folder;  // the drive reads the program's database
};

// The exception a refused request ended with (as libmodbus's errno), 0 for none.
int Refusal(int rc) { return rc == -1 ? errno : 0; }

DriveOptions Quick() { return {.commandDelayMs = 40}; }

// A value written and stored with the save command, waited for.
bool WriteAndStore(Client& c, int address, uint16_t v) {
    return c.Write(address, v) && c.Write(90, 1) && hx::test::PollUntil([&] { return c.Read(90) == 0; });
}

// The program in the background; `lines` is how many lines of its output to
// wait for before the test goes on.
struct Sim : hx::test::BackgroundProgram {
    Sim(std::vector<std::string> args, int lines = 1)
        : BackgroundProgram(hx::test::DriveSimProgram(), std::move(args), lines) {}
    std::string Line() const { return Lines().empty() ? std::string() : Lines()[0]; }
};

}  // namespace

// What the register map holds and refuses is the drive's own business; here
// it goes over the wire to another program's client: both read functions, a
// whole identity block, and each refusal as its exception code with the link
// still in step. (The program's own block sizes: the transfer tests.)
TEST_F(DriveOnWire, ReadsWritesAndRefusalsOverRtu) {
    InProcessDrive drive(Quick());
    Client c(drive.DevicePath(), 63);

    uint16_t in = 0;
    ASSERT_EQ(modbus_read_input_registers(*c, 138, 1, &in), 1);
    EXPECT_EQ(in, 200);
    uint16_t model[64];
    ASSERT_EQ(modbus_read_registers(*c, 0xFFC0, 64, model), 64);
    EXPECT_EQ(model[0], 'K' << 8 | 'R');

    // Writing back a block that holds identity and attribute registers
    // unchanged is accepted.
    uint16_t mixed[50];
    ASSERT_EQ(modbus_read_registers(*c, 100, 50, mixed), 50);
    ASSERT_EQ(modbus_write_registers(*c, 100, 50, mixed), 50);

    EXPECT_EQ(Refusal(modbus_read_registers(*c, 31990, 20, mixed)), EMBXILADD);
    EXPECT_EQ(Refusal(modbus_write_register(*c, 138, 150)), EMBXILVAL);
    EXPECT_EQ(c.Read(138), 200);
}

TEST_F(DriveOnWire, FramingOfRawRequests) {
    InProcessDrive drive(Quick());
    RawLine line(drive.DevicePath());
    const auto read138 = Framed({63, 0x03, 0x00, 138, 0x00, 0x01});
    EXPECT_EQ(line.Ask(read138), Framed({63, 0x03, 2, 0, 200}));

    // A bad CRC and another station: silence.
    auto bad = read138;
    bad.back() ^= 0x55;
    line.Send(bad);
    EXPECT_TRUE(line.Receive(150).empty());
    line.Send(Framed({7, 0x03, 0x00, 138, 0x00, 0x01}));
    EXPECT_TRUE(line.Receive(150).empty());

    // Garbage, then after a silence a good request is answered.
    // The silence must be one the server saw: a fixed sleep is no silence
    // on a loaded machine, where it can read both writes at once.
    const auto rejected = drive.Server().GetStats().framesRejected;
    line.Send({0x12, 0x34, 0x56});
    ASSERT_TRUE(hx::test::PollUntil([&] { return drive.Server().GetStats().framesRejected == rejected + 1; }));
    const auto write = Framed({63, 0x06, 0x00, 0x02, 0x12, 0x34});
    EXPECT_EQ(line.Ask(write), write);
    EXPECT_EQ(drive.Drive().Ram(2), 0x1234);

    // Two requests in one write are both answered.
    auto two = Framed({63, 0x03, 0x00, 123, 0x00, 0x01});
    two.insert(two.end(), read138.begin(), read138.end());
    EXPECT_EQ(line.Ask(two).size(), 14u);

    // An unknown function: exception 1; a read of 126 registers: exception 3.
    EXPECT_EQ(line.Ask(Framed({63, 0x2B, 0x0E, 0x01, 0x00})), Framed({63, 0x2B | 0x80, 1}));
    EXPECT_EQ(line.Ask(Framed({63, 0x03, 0x00, 0x00, 0x00, 126})), Framed({63, 0x83, 3}));
}

// A paced reply never comes sooner than a real line could carry it.
TEST_F(DriveOnWire, PacedRepliesTakeAtLeastTheWireTime) {
    InProcessDrive drive({.baud = 9600, .commandDelayMs = 40});
    Client c(drive.DevicePath(), 63, 1000);
    uint16_t block[50];
    ASSERT_EQ(modbus_read_registers(*c, 0, 50, block), 50);  // settle
    const auto start = Clock::now();
    ASSERT_EQ(modbus_read_registers(*c, 0, 50, block), 50);
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds((8 + 105) * 11 * 1000000LL / 9600));
}

// Modbus TCP beside the pseudo-terminal, a client after the one before; 0xFF
// names the one drive of a plain server and nobody behind a gateway of
// several. (Each station its own drive behind a gateway: the command line's
// many-drives test.)
TEST_F(DriveOnWire, ModbusTcpOnLoopback) {
    InProcessDrive drive({.commandDelayMs = 40, .tcpListen = "127.0.0.1:0"});
    {
        Client c = Client::Tcp(drive.TcpPort(), 63);
        ASSERT_TRUE(c.Write(2, 42));
        uint16_t v;
        EXPECT_EQ(Refusal(modbus_read_registers(*c, 20000, 1, &v)), EMBXILADD);
        c.Station(0xFF);
        EXPECT_EQ(c.Read(2), 42);
    }
    EXPECT_EQ(Client::Tcp(drive.TcpPort(), 63).Read(2), 42);
    EXPECT_EQ(Client(drive.DevicePath(), 63).Read(2), 42);
    InProcessDrive gateway({.stations = {1, 2}, .commandDelayMs = 40, .tcpListen = "127.0.0.1:0"});
    EXPECT_EQ(Client::Tcp(gateway.TcpPort(), 0xFF, 100).Read(0), -1);
}

// A regular file where the device's link should go is not replaced. (The
// link made for the drive and gone with it: the drive program's test.)
TEST_F(DriveOnWire, ARegularFileInTheLinksPlaceStays) {
    const std::string link = folder.File("ttyDRIVE");
    hx::test::WriteFileBytes(link, "keep me");
    EXPECT_THROW(InProcessDrive drive(Quick(), link), std::runtime_error);
    EXPECT_EQ(hx::test::ReadFileBytes(link), "keep me");
}

// Several drives on one line: each station its own drive, the others never
// hearing it, a busy drive refusing. (Each station's own state across a restart: the
// drive program's test.)
TEST_F(DriveOnWire, SeveralDrivesOnOneLine) {
    InProcessDrive bus({.stations = {5, 1, 2}, .commandDelayMs = 40});
    Client c(bus.DevicePath(), 1, 200);
    ASSERT_EQ(modbus_write_register(*c, 2, 111), 1);
    c.Station(2);
    EXPECT_NE(c.Read(2), 111);
    ASSERT_TRUE(WriteAndStore(c, 2, 222));
    EXPECT_EQ(bus.Drive(1).Ram(2), 111);
    EXPECT_EQ(bus.Drive(2).Nv(2), 222);
    EXPECT_NE(bus.Drive(1).Nv(2), 111);  // station 1 never stored
    // Each drive saw only its own requests.
    for (const auto& r : bus.Drive(1).Requests()) EXPECT_EQ(r.station, 1);
    EXPECT_TRUE(bus.Drive(5).Requests().empty());

    // A busy drive answers with exception 6 and does nothing. (A station
    // with no drive stays silent: the link's test.)
    c.Station(5);
    bus.Drive(5).SetBusy(true);
    EXPECT_EQ(Refusal(modbus_write_register(*c, 3, 9)), EMBXSBUSY);
    bus.Drive(5).SetBusy(false);
    EXPECT_NE(bus.Drive(5).Ram(3), 9);

    // Nobody answers a broadcast read. (Broadcast writes: the link's test.)
    EXPECT_EQ(Client(bus.DevicePath(), 0, 100).Read(3), -1);
}

TEST(DriveProgram, OptionsAreChecked) {
    {
        Sim sim({"--help"});
        EXPECT_EQ(sim.Line().rfind("Usage: halvex-drive-sim", 0), 0u);
        EXPECT_EQ(sim.Wait(), 0);
    }
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--station", "x"}, {"--drop-rate", "2"}, {"--stuck", "5"}, {"--bogus", "1"}, {"--baud"},
             {"--stations", "0-3"}, {"--stations", "5-2"}, {"--stations", "1,,2"}, {"--stations", "1-3", "--station", "4"},
             {"--alarm", "0"}, {"--machine-seed", "1", "--inertia-ratio", "3"}, {"--resonance", "10"},
             {"--inertia-ratio", "-1"}, {"--machine", "x"}, {"--machine", "2:ratio=3"},
             {"--resonance", "300/0.02/0.8", "--resonance", "800/0.02/0.3"}}) {
        Sim sim(bad, 0);
        EXPECT_EQ(sim.Wait(), 2) << bad[0];
    }
    // A drive model without definitions fails with a message, not a drive;
    // so does a machine for a station the line does not have.
    hx::test::TempProgramFolder folder;
    Sim sim({"--db", folder.DatabasePath(), "--drive-model", "NOSUCH"}, 0);
    EXPECT_EQ(sim.Wait(), 1);
    Sim elsewhere({"--stations", "1-2", "--machine", "5:inertia-ratio=3"}, 0);
    EXPECT_EQ(elsewhere.Wait(), 1);
}

// The truth file: each drive of the line with its own machine, written at
// start, again soon after a loop parameter changes over the wire, at once on
// SIGUSR1, and at exit.
TEST(DriveProgram, TheTruthFileFollowsTheDrivesLoops) {
    hx::test::TempProgramFolder folder;
    const std::string truth = folder.File("truth.json");
    Sim sim({"--tcp", "127.0.0.1:0", "--db", folder.DatabasePath(), "--stations", "1-2", "--machine",
             "2:inertia-ratio=12,machine-hz=0", "--truth", truth});
    ASSERT_EQ(sim.Line().rfind("tcp:127.0.0.1:", 0), 0u) << sim.Line();
    auto text = [&] { return std::filesystem::exists(truth) ? hx::test::ReadFileBytes(truth) : std::string(); };
    ASSERT_TRUE(hx::test::PollUntil([&] { return !text().empty(); }));
    const std::string first = text();
    EXPECT_EQ(first.rfind("{\n  \"format\": \"halvex-drive-sim truth\",\n  \"version\": 1,", 0), 0u) << first.substr(0, 80);
    const auto two = first.find("\"station\": 2,");
    ASSERT_NE(two, std::string::npos);
    EXPECT_LT(first.find("\"inertiaRatio\": 5.33333,"), two) << "the line's default machine at station 1";
    EXPECT_GT(first.find("\"inertiaRatio\": 12,"), two);
    EXPECT_NE(first.find("\"speedLoopHz\": 27,"), std::string::npos);

    Client c(sim.Line(), 1, 300);
    ASSERT_TRUE(c.Write(25, 400));  // Pr1.05: 40.0 Hz
    EXPECT_TRUE(hx::test::PollUntil([&] { return text().find("\"speedLoopHz\": 40,") != std::string::npos; }));
    std::filesystem::remove(truth);
    ASSERT_EQ(kill(sim.Pid(), SIGUSR1), 0);
    EXPECT_TRUE(hx::test::PollUntil([&] { return !text().empty(); }));
    std::filesystem::remove(truth);
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    EXPECT_NE(text().find("\"speedLoopHz\": 40,"), std::string::npos) << "written at exit";
}

// A bus of drives on TCP: each station keeps its own section of the state
// file, the others stay silent, and SIGINT ends it with every state saved;
// restarted on a pseudo-terminal it serves what it stored with the alarms
// given raised, and SIGTERM ends it with its device link gone.
TEST(DriveProgram, ServesKeepsEachStationsStateAndStopsCleanly) {
    hx::test::TempProgramFolder folder;
    const std::string state = folder.File("bus.txt"), link = folder.File("ttyBUS");
    {
        Sim sim({"--tcp", "127.0.0.1:0", "--db", folder.DatabasePath(), "--state", state, "--stations", "2,5",
                 "--firmware", "150", "--command-delay-ms", "20"});
        ASSERT_EQ(sim.Line().rfind("tcp:127.0.0.1:", 0), 0u) << sim.Line();
        Client c(sim.Line(), 5, 300);
        EXPECT_EQ(c.Read(138), 150);
        EXPECT_TRUE(WriteAndStore(c, 0, 3005));
        c.Station(2);
        ASSERT_TRUE(c.Write(0, 3002));  // not stored
        c.Station(3);
        EXPECT_EQ(c.Read(0), -1);
        EXPECT_EQ(sim.Stop(SIGINT), 0);
    }
    const std::string saved = hx::test::ReadFileBytes(state);
    const auto two = saved.find("[station 2]\n"), five = saved.find("[station 5]\n");
    ASSERT_NE(two, std::string::npos);
    ASSERT_NE(five, std::string::npos);
    EXPECT_EQ(saved.find("nv 0 3005\n"), saved.find("nv 0 ", five));
    EXPECT_NE(saved.find("nv 0 4200\n", two), std::string::npos);
    {
        Sim sim({"--db", folder.DatabasePath(), "--state", state, "--stations", "2,5", "--pty", link, "--alarm", "5",
                 "--alarm", "14"});
        ASSERT_EQ(sim.Line().rfind("/dev/", 0), 0u) << sim.Line();
        Client c(link, 5, 300);
        EXPECT_EQ((std::vector{c.Read(0), c.Read(139), c.Read(141)}), (std::vector{3005, 14, 5}));
        c.Station(2);
        EXPECT_EQ(c.Read(0), 4200);
        EXPECT_EQ(sim.Stop(SIGTERM), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    // One drive cannot take a file of several, nor several drives the file
    // of one: it says so instead of starting from factory values and then
    // writing the memory away at the first store.
    Sim single({"--db", folder.DatabasePath(), "--state", state}, 0);
    EXPECT_EQ(single.Wait(), 1);
    const std::string one = folder.File("one.txt"), oneBytes = saved.substr(0, saved.find('\n') + 1) + "nv 0 4300\n";
    hx::test::WriteFileBytes(one, oneBytes);
    Sim several({"--db", folder.DatabasePath(), "--state", one, "--stations", "1,2"});
    EXPECT_EQ(several.Stop(SIGTERM), 1) << "refused at start, not served";
    EXPECT_TRUE(hx::test::ReadFileBytes(one) == oneBytes) << "the file as it was";
}

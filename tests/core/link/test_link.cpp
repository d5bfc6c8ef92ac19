// The drive link against the simulated drive, over a real pseudo-terminal
// with RTU framing, and the port names it opens. (Modbus TCP, whose replies
// become the same frames: the command line's tests on gateways; lost and
// damaged replies under load: the noisy-line, capture and spectrum tests.)

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "core/Globals.h"
#include "core/link/DriveIdentity.h"
#include "core/link/ModbusFrame.h"
#include "core/link/PortResolver.h"
#include "core/link/Transport.h"
#include "core/params/AttributeBlocks.h"
#include "core/params/CParameter.h"
#include "support/PtyDrive.h"
#include "support/TestSupport.h"

using namespace hx;
using namespace hx::test;
using namespace std::string_literals;
using Pairs = std::vector<std::pair<uint16_t, uint16_t>>;
using sim::InProcessDrive;

constexpr uint8_t kStation = 5;

TEST(Link, SingleAndBlockTransfersOverThePty) {
    PtyDrive d(PlainDrive(kStation), 100);
    CQXCOM& comm = d.comm;
    EXPECT_NE(comm.GetConnectStatus(), 0);

    EXPECT_EQ(comm.Write(kStation, 5, 1234).value_or(0), 1234);
    EXPECT_EQ(comm.WriteAddressValue(kStation, 6, -2), -2);
    EXPECT_EQ(d.Vd().Ram(6), 0xFFFE);
    EXPECT_EQ(comm.ReadAddressValue(kStation, 5), 1234);

    // A register holding -1 reads as -1, but as an answer.
    d.Vd().SetRam(7, 0xFFFF);
    EXPECT_EQ(comm.Read(kStation, 7).value_or(0), -1);

    // Block read: the whole reply frame, high byte first, with its checksum.
    std::vector<uint8_t> expected = {kStation, 0x03, 100};
    for (uint16_t i = 0; i < 50; ++i) {
        const uint16_t v = static_cast<uint16_t>(0x0101 * i + 0x8000);
        d.Vd().SetRam(30000 + i, v);
        expected.insert(expected.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)});
    }
    auto frame = comm.ReadBigData(kStation, 30000, 50);
    ASSERT_EQ(frame.size(), 105u);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.end() - 2), expected);
    EXPECT_EQ(ModbusCrc16(frame.data(), frame.size()), 0);
    for (auto [count, bytes] : {std::pair{125, 255u}, {126, 0u}, {0, 0u}})
        EXPECT_EQ(comm.ReadBigData(kStation, 0, static_cast<uint16_t>(count)).size(), bytes) << count;

    // Block write: 2 x count bytes, high byte first, or nothing is sent.
    std::vector<uint8_t> data;
    for (int i = 0; i < 20; ++i) data.insert(data.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(0xA0 + i)});
    EXPECT_NE(comm.WriteBigData(kStation, 30100, 20, data), -1);
    for (uint16_t i = 0; i < 20; ++i) EXPECT_EQ(d.Vd().Ram(30100 + i), (i << 8) | (0xA0 + i)) << i;
    const auto framesBefore = d.Server().GetStats().framesReceived;
    data.pop_back();
    EXPECT_EQ(comm.WriteBigData(kStation, 30100, 20, data), -1);
    EXPECT_EQ(d.Server().GetStats().framesReceived, framesBefore);

    EXPECT_TRUE(comm.CloseCom() != 0 && comm.GetConnectStatus() == 0);
    EXPECT_NE(comm.CloseCom(), 0);  // closing a closed port succeeds
    // Closed: requests fail at once.
    EXPECT_EQ(comm.Read(kStation, 5).fault.kind, DriveFaultKind::NotOpen);
    EXPECT_EQ(comm.WriteAddressValue(kStation, 5, 1), -1);
}

TEST(Link, FindDriveTimeOutsAndBroadcast) {
    PtyDrive d({.station = kStation, .stations = {kStation, kStation + 2}, .databasePath = "-"}, 200);
    CQXCOM& comm = d.comm;
    InProcessDrive& drive = *d.drive;
    // Replies here come at most 300 ms late: a horizon beyond that, short
    // enough to keep the test quick.
    comm.SetLateHorizon(600);

    EXPECT_TRUE(comm.Find(kStation));
    EXPECT_EQ(comm.Find(kStation + 1).fault.kind, DriveFaultKind::NoAnswer);

    // Station 0 is broadcast: reads never touch the line, writes are carried
    // out by every drive, none answers, and they count as sent.
    const auto before = drive.Server().GetStats();
    EXPECT_EQ(comm.FindDrive(0, 0), -1);
    EXPECT_FALSE(comm.Read(0, 5));
    EXPECT_TRUE(comm.ReadBigData(0, 5, 2).empty());
    EXPECT_EQ(drive.Server().GetStats().framesReceived, before.framesReceived);
    EXPECT_EQ(comm.Write(0, 12, 321).value_or(0), 321);
    EXPECT_NE(comm.WriteBigData(0, 14, 2, {0, 1, 0, 2}), -1);
    EXPECT_EQ(comm.ReadAddressValue(kStation, 12), 321);
    for (uint8_t s : {kStation, static_cast<uint8_t>(kStation + 2)})
        EXPECT_EQ((std::vector{drive.Drive(s).Ram(12), drive.Drive(s).Ram(14), drive.Drive(s).Ram(15)}),
                  (std::vector<uint16_t>{321, 1, 2}));
    EXPECT_EQ(std::tuple(drive.Server().GetStats().broadcasts, comm.GetHealth().late), std::tuple(before.broadcasts + 2, 0ul));

    // The time-out applies to the open port at once.
    drive.Drive().SetRam(21, 2222);
    comm.SetReceiveTimeOut(500);
    drive.Server().AnswerLate(std::chrono::milliseconds(300));
    EXPECT_EQ(comm.ReadAddressValue(kStation, 21), 2222);
}

TEST(Link, ThreadsNeverGetEachOthersReplies) {
    PtyDrive d(PlainDrive(kStation), 100);
    CQXCOM& comm = d.comm;
    for (uint16_t i = 0; i < 40; ++i) d.Vd().SetRam(30000 + i, 1000 + i);
    d.Vd().SetRam(10, 111);
    d.Vd().SetRam(11, 222);

    std::atomic<int> mixedUp{0}, unanswered{0};
    auto reader = [&](uint16_t reg, int16_t expected) {
        for (int i = 0; i < 120; ++i) {
            const auto v = comm.Read(kStation, reg);
            unanswered += !v;
            mixedUp += v && *v != expected;
        }
    };
    auto blockReader = [&](uint16_t first, uint16_t count) {
        for (int i = 0; i < 60; ++i) {
            const auto f = comm.ReadBigData(kStation, first, count);
            unanswered += f.size() != 5u + 2 * count;
            for (uint16_t k = 0; k < count && f.size() == 5u + 2 * count; ++k)
                if (((f[3 + 2 * k] << 8) | f[4 + 2 * k]) != 1000 + (first - 30000) + k) ++mixedUp;
        }
    };
    auto writer = [&](uint16_t reg) {
        for (int16_t i = 0; i < 60; ++i) {
            unanswered += comm.WriteAddressValue(kStation, reg, i) != i;
            const auto v = comm.Read(kStation, reg);
            unanswered += !v;
            mixedUp += v && *v != i;
        }
    };
    {
        std::jthread a(reader, 10, 111), b(reader, 11, 222), c(blockReader, 30000, 10), d(blockReader, 30020, 20),
            e(writer, 12);
    }
    EXPECT_EQ(mixedUp, 0);
    EXPECT_EQ(unanswered, 0);
}

TEST(Link, OpeningMissingOrBusyPortsFailsCleanly) {
    CQXCOM comm;
    for (const char* port : {"/dev/halvex-no-such-port", "tcp:nohost"}) {
        comm.ConfigCom(port, "38400", "8", "NONE", "2");
        EXPECT_EQ(comm.OpenCom(), 0) << port;
        EXPECT_EQ(comm.GetConnectStatus(), 0);
        EXPECT_FALSE(comm.LastErrorText().empty());
        EXPECT_EQ(comm.FindDrive(1, 0), -1);
    }

    PtyDrive d(PlainDrive(kStation), 100);
    InProcessDrive& drive = *d.drive;
    CQXCOM &first = d.comm, second;
    second.ConfigCom(drive.DevicePath(), "38400", "8", "NONE", "2");
    EXPECT_EQ(second.OpenCom(), 0) << "two programs must not share a port";
    EXPECT_NE(first.FindDrive(kStation, 0), -1);
    // Opening again closes the old port first; the port stays this object's.
    EXPECT_NE(first.OpenCom(), 0);
    EXPECT_EQ(second.OpenCom(), 0);
    first.CloseCom();
    EXPECT_NE(second.OpenCom(), 0) << second.LastErrorText();
    EXPECT_NE(second.FindDrive(kStation, 0), -1);

    // Odd settings fall back to the defaults instead of failing.
    CQXCOM odd;
    second.CloseCom();
    odd.ConfigCom(drive.DevicePath(), "12345", "eight", "MARK", "x");
    ASSERT_NE(odd.OpenCom(), 0) << odd.LastErrorText();
    EXPECT_EQ(odd.TransportDescription(), drive.DevicePath() + " 38400 8N1");
    odd.ConfigCom(drive.DevicePath(), "9600", "8", "even", "1");
    ASSERT_NE(odd.OpenCom(), 0) << odd.LastErrorText();
    EXPECT_EQ(odd.TransportDescription(), drive.DevicePath() + " 9600 8E1");
    EXPECT_NE(odd.FindDrive(kStation, 0), -1);
}

TEST(Link, IdentityRead) {
    // In a locale that writes decimal commas (the window's process takes the
    // user's): the version text goes into files as the drive's "1.5".
    std::string locales = std::filesystem::temp_directory_path() / "halvex-locale-XXXXXX";
    ASSERT_NE(::mkdtemp(locales.data()), nullptr);
    ASSERT_EQ(std::system(("localedef -i de_DE -f UTF-8 " + locales + "/de_DE.UTF-8").c_str()), 0);
    ::setenv("LOCPATH", locales.c_str(), 1);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    struct Back {
        ~Back() { std::setlocale(LC_NUMERIC, "C"), ::unsetenv("LOCPATH"), std::filesystem::remove_all(path); }
        std::string path;
    } back{locales};
    // A product model longer than its 14 characters of registers is cut.
    PtyDrive d({.station = kStation, .productModel = "HX-KRV4-0750-ABC", .driveModel = "KRV4", .firmwareRegister = 215,
                .softwareRegister = -15, .variantCode = 1001, .databasePath = "-"},
               100);
    auto& vd = d.Vd();

    // The requests go out in the drive's classic order.
    vd.ClearRequests();
    DriveIdentity id = ReadDriveIdentity(d.comm, kStation);
    EXPECT_EQ(d.Addresses(kRead),
              (std::vector<uint16_t>{123, 138, 0xFFBF, 116, 117, 118, 119, 120, 121, 122, 0xFFC0, 0xFFC1, 0xFFC2}));
    EXPECT_TRUE(id.complete);
    EXPECT_EQ(std::tuple(id.softVersionText, id.variantCode, id.productModel, id.driveModel),
              std::tuple("-1.5"s, 1001, "HX-KRV4-0750-A"s, "KRV4"s));
    EXPECT_FLOAT_EQ(id.firmwareVersion, 215.0f);

    // "AB" and zeros is "AB"; text also ends at the first non-printable byte.
    for (uint16_t a = 117; a <= 122; ++a) vd.Poke(a, 0);
    for (auto [a, v] : {std::pair{116, 0x4142}, {0xFFC0, ('Q' << 8) | 0x07}, {138, 99}, {123, 7}})
        vd.Poke(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
    id = ReadDriveIdentity(d.comm, kStation);
    EXPECT_EQ(std::tuple(id.productModel, id.driveModel, id.softVersionText), std::tuple("AB"s, "Q"s, "0.7"s));
    EXPECT_FLOAT_EQ(id.firmwareVersion, 100.0f);

    // At most 14 characters of product model; a drive model running up to
    // the last register stops there instead of wrapping to register 0.
    for (uint16_t a = 116; a <= 122; ++a) vd.Poke(a, 0x4344);
    for (uint32_t a = 0xFFC0; a <= 0xFFFF; ++a) vd.Poke(static_cast<uint16_t>(a), 0x4D4E);
    vd.ClearRequests();
    id = ReadDriveIdentity(d.comm, kStation);
    EXPECT_EQ(id.productModel, "CDCDCDCDCDCDCD");
    EXPECT_EQ(id.driveModel.size(), 128u);
    EXPECT_EQ(vd.Requests().back().address, 0xFFFF);

    ApplyIdentity(id);
    EXPECT_EQ(std::tuple(g_productModel, g_driveSoftVersion, g_driveVariantCode), std::tuple("CDCDCDCDCDCDCD"s, "0.7"s, 1001));
    EXPECT_FLOAT_EQ(g_firmwareVersion, 100.0f);
}

TEST(Link, AttributeBlocksByFirmware) {
    PtyDrive d(PlainDrive(kStation), 100);
    auto& vd = d.Vd();
    // Block 1 (registers 100..109) as bytes 0..19, the two others from 20 on.
    std::vector<uint8_t> expected(CParameter::kAttributeBytes - 20, 0);
    for (uint16_t a = 100; a <= 109; ++a) vd.Poke(a, 0xFFFF);
    for (uint16_t i = 0; i < 100; ++i) {
        const uint16_t v = static_cast<uint16_t>(0x0102 + 0x0202 * i);
        vd.Poke(63000 + i, v);
        expected[2 * i] = static_cast<uint8_t>(v >> 8);
        expected[1 + 2 * i] = static_cast<uint8_t>(v & 0xFF);
    }

    CParameter table;
    auto result = ReadAttributeBlocks(d.Link(200.0f), table);
    EXPECT_FALSE(result.Failed());
    EXPECT_TRUE(result.loaded);
    EXPECT_EQ(result.lastReplyElements, 105);
    EXPECT_EQ(std::vector<uint8_t>(table.Attributes() + 20, table.Attributes() + CParameter::kAttributeBytes), expected);
    for (uint16_t a : {23, 32, 34, 39, 41, 52, 70, 90, 91, 92, 93}) EXPECT_EQ(table.TestAttribute(a), 0) << a;
    for (uint16_t a : {0, 8, 22, 24, 89, 94, 149}) EXPECT_EQ(table.TestAttribute(a), 1) << a;

    // Below 200.0 only block 1 is read; the upper blocks stay zero.
    CParameter older;
    vd.ClearRequests();
    result = ReadAttributeBlocks(d.Link(199.9f), older);
    EXPECT_FALSE(result.Failed());
    EXPECT_EQ(d.Blocks(kRead), (Pairs{{100, 10}}));
    EXPECT_EQ(std::vector<uint8_t>(older.Attributes() + 20, older.Attributes() + CParameter::kAttributeBytes),
              std::vector<uint8_t>(expected.size(), 0));

    // No reply to block 1: the bitmap is left as it was.
    d.Server().LoseReplies(1.0);
    d.comm.SetReceiveTimeOut(30);
    result = ReadAttributeBlocks(d.Link(200.0f), table);
    EXPECT_TRUE(result.block1Failed);
    EXPECT_FALSE(result.loaded);
    EXPECT_EQ(result.Block1Message(), "Read attribute block1 fault!dataLenght=0");
    EXPECT_EQ(result.Block23Message(), "");
    EXPECT_EQ(table.Attributes()[20], 0x01);
    EXPECT_EQ(table.TestAttribute(0), 1);
}

// The drive handle turns each request's outcome into one typed fault: a
// refusal must never pass for silence (the user is told the drive's reason),
// and silence never for an answer. Its reads and writes of values are
// exercised by every transfer test.
TEST(DriveHandle, ARefusalIsAnAnswerSilenceIsNoneAndAVanishedPortIsLost) {
    PtyDrive link(PlainDrive(kStation), 300);
    DriveHandle drive(&link.comm, kStation);
    const uint16_t words[3] = {11, 0xFFFF, 13};
    ASSERT_TRUE(drive.WriteWords(30010, words, 3)) << drive.fault().text;
    EXPECT_EQ(drive.ReadWords(30010, 3), (std::vector<uint16_t>{11, 0xFFFF, 13}));
    EXPECT_TRUE(drive.fault().ok());

    // Far outside the drive's map: the drive answers with exception 2, an answer for the link's counters.
    EXPECT_FALSE(drive.Read(20000).has_value());
    EXPECT_EQ(std::tuple(drive.fault().kind, drive.fault().exceptionCode, drive.fault().answered(),
                         link.comm.GetHealth().unanswered, link.comm.GetHealth().answering),
              std::tuple(DriveFaultKind::Refused, 2, true, uint64_t{0}, true));

    uint16_t dest[4] = {1, 2, 3, 4};
    DriveHandle other = drive.atStation(kStation + 1);  // nobody listens there
    link.comm.SetReceiveTimeOut(20);
    EXPECT_FALSE(other.ReadWords(30000, 4, dest));
    EXPECT_EQ(std::tuple(other.fault().kind, other.fault().answered()), std::tuple(DriveFaultKind::NoAnswer, false));
    EXPECT_EQ(std::vector(dest, dest + 4), (std::vector<uint16_t>{1, 2, 3, 4}));  // a failed read leaves the buffer alone
    // The first handle's outcome is its own.
    EXPECT_TRUE(drive.fault().kind == DriveFaultKind::Refused && !link.comm.GetHealth().portLost);

    // A gateway whose drive did not answer (0x0B) may have passed the write on (here it did).
    InProcessDrive gateway({.station = kStation, .databasePath = "-", .tcpListen = "127.0.0.1:0"});
    gateway.Server().GatewayLosesReplies(1.0);
    CQXCOM tcp;
    tcp.ConfigCom("tcp:127.0.0.1:" + std::to_string(gateway.TcpPort()), "38400", "8", "NONE", "1");
    const auto sent = (tcp.OpenCom(), tcp.Write(kStation, 30020, 9));
    EXPECT_EQ(std::tuple(sent.fault.kind, sent.fault.mayHaveApplied, gateway.Drive().Ram(30020)),
              std::tuple(DriveFaultKind::NoAnswer, true, uint16_t{9}));

    // A port whose far end is gone (an unplugged adapter, a killed simulator)
    // is a lost port, counted as unanswered, not silence.
    CQXCOM& comm = link.comm;
    link.drive.reset();
    EXPECT_FALSE(drive.Read(0).has_value());
    EXPECT_EQ(drive.fault().kind, DriveFaultKind::PortLost) << drive.fault().text;
    const CQXCOM::Health health = comm.GetHealth();
    EXPECT_TRUE(health.portLost && !health.answering && health.unanswered >= 2u) << health.unanswered;

    // Nothing more goes into the dead descriptor: reads and writes fail at
    // once as a lost port, and the line's counters do not move.
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(drive.Read(0).has_value());
        EXPECT_EQ(drive.fault().kind, DriveFaultKind::PortLost) << drive.fault().text;
    }
    EXPECT_EQ(comm.WriteAddressValue(kStation, 5, 1), -1);
    EXPECT_EQ(std::tuple(comm.GetHealth().requests, comm.GetHealth().unanswered, comm.GetHealth().portLost),
              std::tuple(health.requests, health.unanswered, true));
}

namespace {

struct ResolverFixture : ::testing::Test {
    TempProgramFolder folder;
    std::string devices = folder.File("dev");
    ResolverFixture() {
        std::filesystem::create_directories(devices);
        PortResolver::SetDeviceFolder(devices);
    }
    ~ResolverFixture() override {
        PortResolver::SetDeviceFolder({});
        PortResolver::ClearOverrides();
    }
    void touch(const std::string& name) { WriteFileBytes(devices + "/" + name, ""); }
    void ports(const std::string& body) { WriteFileBytes(folder.File("Parameters/Ports.ini"), body); }
    // What a name resolves to: the device ("dev/" for the fallback folder),
    // the TCP address, or "invalid".
    std::string resolved(const std::string& name) {
        const PortTarget t = PortResolver::Resolve(name);
        if (t.kind == PortTarget::Kind::Invalid) return "invalid";
        std::string s = t.ToString();
        if (s.rfind(devices + "/", 0) == 0) s = "dev/" + s.substr(devices.size() + 1);
        return s;
    }
    void expect(std::initializer_list<std::pair<const char*, const char*>> table) {
        for (const auto& [name, target] : table) EXPECT_EQ(resolved(name), target) << name;
    }
};

const char* const kAdapter = "/dev/serial/by-id/usb-USB_Serial_Adapter_A50285BI-if00-port0";

}  // namespace

TEST_F(ResolverFixture, IniEntriesOverridesPathsAndTcpAddresses) {
    // A long gateway address must not be cut by a small read buffer.
    ports(std::string("[Ports]\r\nCOM1=") + kAdapter +
          "\r\ncom2 = tcp:gateway-in-the-hall.example.net:10502\r\nCOM3=ttyAMA0\r\nCOM4=tcp:nohost\r\n");
    touch("ttyUSB4");
    expect({{"COM1", kAdapter},
            {" com2 ", "tcp:gateway-in-the-hall.example.net:10502"},
            {"COM3", "/dev/ttyAMA0"},
            {"COM4", "invalid"},
            {"COM5", "dev/ttyUSB4"},  // no entry: the fallback device
            {"/dev/pts/3", "/dev/pts/3"},
            {"tcp:127.0.0.1:502", "tcp:127.0.0.1:502"},
            {"tcp:[::1]:1502", "tcp:[::1]:1502"},
            {"", "invalid"}});
    for (const char* bad : {"tcp:", "tcp:host", "tcp:host:", "tcp::502", "tcp:host:0", "tcp:host:65536", "tcp:h:5x"})
        EXPECT_EQ(resolved(bad), "invalid") << bad;
    const PortTarget gateway = PortResolver::Resolve("COM2");
    EXPECT_EQ(gateway.host, "gateway-in-the-hall.example.net");
    EXPECT_EQ(gateway.port, 10502);
    EXPECT_EQ(PortResolver::Resolve("tcp:[::1]:1502").host, "::1");

    // The in-memory override wins over the file, and clearing it restores the file's entry.
    PortResolver::SetOverride("COM1", "/dev/pts/7");
    PortResolver::SetOverride("COM2", "tcp:127.0.0.1:1502");
    expect({{"com1", "/dev/pts/7"}, {"COM2", "tcp:127.0.0.1:1502"}});
    PortResolver::ClearOverride("COM1");
    expect({{"COM1", kAdapter}});

    // The ports set up on this computer (what the bus overview ticks): an
    // entry, an override, a USB adapter; not the built-in ports every PC lists.
    touch("ttyACM6");
    for (auto [name, configured] : {std::pair{"COM2", true}, {"COM5", true}, {"COM7", true}, {"COM6", false}, {"COM8", false}})
        EXPECT_EQ(PortResolver::Configured(name), configured) << name;
    PortResolver::SetOverride("COM6", "/dev/pts/9");
    EXPECT_TRUE(PortResolver::Configured("COM6"));
}

TEST_F(ResolverFixture, FallbackPrefersUsbThenAcmThenBuiltIn) {
    expect({{"COM3", "dev/ttyS2"}});  // without Ports.ini
    touch("ttyACM2");
    expect({{"COM3", "dev/ttyACM2"}});
    touch("ttyUSB2");
    // Each port looks at its own number only.
    expect({{"COM3", "dev/ttyUSB2"}, {"COM1", "dev/ttyS0"}, {"COM9", "dev/ttyS8"}});
    // A file without the key, or with an empty value, falls back too.
    ports("[Ports]\nCOM1=\n[Other]\nCOM3=/dev/null\n");
    expect({{"COM1", "dev/ttyS0"}, {"COM3", "dev/ttyUSB2"}});
    for (auto [name, number] : {std::pair{"COM0", 0}, {"COMX", 0}, {"com12", 12}})
        EXPECT_EQ(PortResolver::ComNumber(name), number) << name;
}

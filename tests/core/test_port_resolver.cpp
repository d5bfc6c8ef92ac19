#include <gtest/gtest.h>

#include <filesystem>

#include "core/link/PortResolver.h"
#include "support/TestSupport.h"

using hx::PortResolver;
using hx::PortTarget;

namespace {

void writePortsIni(const hx::test::TempProgramFolder& folder, const std::string& body) {
    hx::test::WriteFileBytes(folder.File("Parameters/Ports.ini"), body);
}

struct ResolverFixture : ::testing::Test {
    hx::test::TempProgramFolder folder;
    std::string devices = folder.File("dev");
    ResolverFixture() {
        std::filesystem::create_directories(devices);
        PortResolver::SetDeviceFolder(devices);
    }
    ~ResolverFixture() override {
        PortResolver::SetDeviceFolder({});
        PortResolver::ClearOverrides();
    }
    void touch(const std::string& name) { hx::test::WriteFileBytes(devices + "/" + name, ""); }
};

}  // namespace

TEST_F(ResolverFixture, IniEntriesMapComPortsToDevicesAndGateways) {
    // A long gateway address must not be cut by a small read buffer.
    writePortsIni(folder,
                  "[Ports]\r\nCOM1=/dev/serial/by-id/usb-USB_Serial_Adapter_A50285BI-if00-port0\r\n"
                  "com2 = tcp:gateway-in-the-hall.example.net:10502\r\nCOM3=ttyAMA0\r\nCOM4=tcp:nohost\r\n");
    touch("ttyUSB4");

    PortTarget t = PortResolver::Resolve("COM1");
    EXPECT_EQ(t.kind, PortTarget::Kind::Serial);
    EXPECT_EQ(t.device, "/dev/serial/by-id/usb-USB_Serial_Adapter_A50285BI-if00-port0");

    t = PortResolver::Resolve(" com2 ");
    ASSERT_EQ(t.kind, PortTarget::Kind::Tcp);
    EXPECT_EQ(t.host, "gateway-in-the-hall.example.net");
    EXPECT_EQ(t.port, 10502);
    EXPECT_EQ(t.ToString(), "tcp:gateway-in-the-hall.example.net:10502");

    EXPECT_EQ(PortResolver::Resolve("COM3").device, "/dev/ttyAMA0");
    EXPECT_EQ(PortResolver::Resolve("COM4").kind, PortTarget::Kind::Invalid);
    // No entry: the fallback devices.
    EXPECT_EQ(PortResolver::Resolve("COM5").device, devices + "/ttyUSB4");

    // The in-memory override wins over the file, and clearing it restores the file's entry.
    PortResolver::SetOverride("COM1", "/dev/pts/7");
    EXPECT_EQ(PortResolver::Resolve("com1").device, "/dev/pts/7");
    PortResolver::SetOverride("COM2", "tcp:127.0.0.1:1502");
    EXPECT_EQ(PortResolver::Resolve("COM2").port, 1502);
    PortResolver::ClearOverride("COM1");
    EXPECT_EQ(PortResolver::Resolve("COM1").device,
              "/dev/serial/by-id/usb-USB_Serial_Adapter_A50285BI-if00-port0");

    // The ports set up on this computer (what the bus overview ticks): an
    // entry, an override, a USB adapter; not the built-in ports every PC lists.
    touch("ttyACM6");
    EXPECT_TRUE(PortResolver::Configured("COM2"));
    EXPECT_TRUE(PortResolver::Configured("COM5"));
    EXPECT_TRUE(PortResolver::Configured("COM7"));
    EXPECT_FALSE(PortResolver::Configured("COM6"));
    PortResolver::SetOverride("COM6", "/dev/pts/9");
    EXPECT_TRUE(PortResolver::Configured("COM6"));
    EXPECT_FALSE(PortResolver::Configured("COM8"));
}

TEST_F(ResolverFixture, PathsAndTcpAddressesStandAsTheyAre) {
    writePortsIni(folder, "[Ports]\nCOM1=/dev/ttyUSB7\n");
    PortTarget t = PortResolver::Resolve("/dev/pts/3");
    EXPECT_EQ(t.kind, PortTarget::Kind::Serial);
    EXPECT_EQ(t.device, "/dev/pts/3");

    t = PortResolver::Resolve("tcp:127.0.0.1:502");
    ASSERT_EQ(t.kind, PortTarget::Kind::Tcp);
    EXPECT_EQ(t.host, "127.0.0.1");
    EXPECT_EQ(t.port, 502);

    t = PortResolver::Resolve("tcp:[::1]:1502");
    ASSERT_EQ(t.kind, PortTarget::Kind::Tcp);
    EXPECT_EQ(t.host, "::1");
    EXPECT_EQ(t.ToString(), "tcp:[::1]:1502");

    for (const char* bad : {"tcp:", "tcp:host", "tcp:host:", "tcp::502", "tcp:host:0", "tcp:host:65536", "tcp:h:5x"})
        EXPECT_EQ(PortResolver::Resolve(bad).kind, PortTarget::Kind::Invalid) << bad;
    EXPECT_EQ(PortResolver::Resolve("").kind, PortTarget::Kind::Invalid);
}

TEST_F(ResolverFixture, FallbackPrefersUsbThenAcmThenBuiltIn) {
    // Without Ports.ini.
    EXPECT_EQ(PortResolver::Resolve("COM3").device, devices + "/ttyS2");
    touch("ttyACM2");
    EXPECT_EQ(PortResolver::Resolve("COM3").device, devices + "/ttyACM2");
    touch("ttyUSB2");
    EXPECT_EQ(PortResolver::Resolve("COM3").device, devices + "/ttyUSB2");
    // Each port looks at its own number only.
    EXPECT_EQ(PortResolver::Resolve("COM1").device, devices + "/ttyS0");
    EXPECT_EQ(PortResolver::Resolve("COM9").device, devices + "/ttyS8");

    // A file without the key, or with an empty value, falls back too.
    writePortsIni(folder, "[Ports]\nCOM1=\n[Other]\nCOM3=/dev/null\n");
    EXPECT_EQ(PortResolver::Resolve("COM1").device, devices + "/ttyS0");
    EXPECT_EQ(PortResolver::Resolve("COM3").device, devices + "/ttyUSB2");

    EXPECT_EQ(PortResolver::ComNumber("COM0"), 0);
    EXPECT_EQ(PortResolver::ComNumber("COMX"), 0);
    EXPECT_EQ(PortResolver::ComNumber("com12"), 12);
}

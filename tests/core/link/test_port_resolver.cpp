#include <gtest/gtest.h>

#include <filesystem>

#include "core/link/PortResolver.h"
#include "support/TestSupport.h"

using hx::PortResolver;
using hx::PortTarget;

namespace {

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
    void ports(const std::string& body) { hx::test::WriteFileBytes(folder.File("Parameters/Ports.ini"), body); }
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

// halvex-cli never reports what did not happen. The simulated drive is served
// in this process over a pseudo-terminal; the tool runs as its own process.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/params/DriveDefinitions.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

using hx::test::Join;
using Result = hx::test::ProgramResult;

struct Bench {
    // Station 63, model KRV4, firmware 200.0.
    explicit Bench(std::string database = {}) : drive({.databasePath = std::move(database)}) {}
    // Late replies here come at most 150 ms late: a horizon well beyond that, and
    // short enough for lost frames to stay cheap. Station 63 unless named.
    Result Run(const std::vector<std::string>& words, const std::string& program = hx::test::CliProgram()) {
        std::vector<std::string> all = {"--port", drive.DevicePath(), "--late-horizon-ms", "400"};
        if (std::find(words.begin(), words.end(), "--station") == words.end()) all = Join(all, {"--station", "63"});
        return hx::test::RunProgram(program, Join(all, words));
    }
    hx::sim::VirtualDrive& Vd() { return drive.Drive(); }
    // A file of these bytes in the test's folder.
    std::string Write(const std::string& name, const std::string& bytes) {
        hx::test::WriteFileBytes(folder.File(name), bytes);
        return folder.File(name);
    }

    hx::test::TempProgramFolder folder;
    hx::sim::InProcessDrive drive;
};

}  // namespace

TEST(CliHonest, BroadcastsTheStationFromTheSettingsAndWhyWritesFailed) {
    Bench b("-");
    // A journal of this test's own (the tool inherits the variable).
    ::setenv("XDG_DATA_HOME", b.folder.File("data").c_str(), 1);
    struct Unset {
        ~Unset() { ::unsetenv("XDG_DATA_HOME"); }
    } unset;
    // A copy of the program in a folder of its own, with a junk station.
    const std::string program = b.folder.File("halvex-cli");
    fs::copy_file(hx::test::CliProgram(), program);
    for (const char* junk : {"", "abc", "0"}) {
        b.Write("Parameters/EnvSetting.ini", std::string("[Drive]\nDriveNo=") + junk + "\n");
        const Result r = hx::test::RunProgram(program, {"--port", b.drive.DevicePath(), "write", "40", "77"});
        // Not station 0: the drive at 63 answers, reads back what it holds.
        EXPECT_EQ(r.status, 0) << junk << ": " << r.err;
        EXPECT_EQ(r.out, "40=77\n") << junk;
    }

    // Station 0 changes every drive on the line and none can be backed up
    // first: refused unless the script says it knows.
    Result r = b.Run({"--station", "0", "write", "41", "5"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("--no-backup"), std::string::npos) << r.err;
    EXPECT_EQ(b.Vd().Ram(41), 0);
    // When asked for: sent, but never reported as done; on record for the
    // port as station 0, never confirmed.
    r = b.Run({"--station", "0", "--no-backup", "write", "41", "5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("broadcast"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("unknown"), std::string::npos) << r.out;
    r = b.Run({"--station", "0", "params", "history"});
    EXPECT_NE(r.out.find("\tcommand line\t41\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\t?\t5\tunconfirmed\n"), std::string::npos) << r.out;
    // Nobody answers, so the tool is gone before the drive has carried it out.
    EXPECT_TRUE(hx::test::PollUntil([&] { return b.Vd().Ram(41) == 5; })) << "the drive carried the broadcast out";
    r = b.Run({"--station", "0", "read", "41"});
    EXPECT_EQ(r.status, 2);
    r = b.Run({"--station", "0", "params", "dump"});
    EXPECT_EQ(r.status, 2);

    // Writes report what the drive holds and why they failed.
    // An address nobody maps: the drive refuses, and the tool says so.
    r = b.Run({"write", "20000", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("exception 2"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("no answer"), std::string::npos) << r.err;
    // Every reply damaged: "damaged", not "no answer".
    b.drive.Server().DamageReplies(1.0);
    r = b.Run({"--timeout", "30", "read", "5"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("damaged reply"), std::string::npos) << r.err;
    b.drive.Server().ClearFaults();
    r = b.Run({"write", "5", "-7"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "5=-7\n");
}

TEST(CliHonest, FilesWithJunkFromAnotherModelOrWithoutDefinitionsAndWhatIsNoUsableFile) {
    Bench b;
    ASSERT_EQ(b.Run({"params", "read", "-o", b.folder.File("drive.qxr")}).status, 0);
    const std::string good = hx::test::ReadFileBytes(b.folder.File("drive.qxr"));
    const auto defs = hx::LoadDefinitions(b.folder.DatabasePath(), "KRV4");
    // A setting with a range, to put a value outside it.
    const hx::ParameterDefinition* ranged = nullptr;
    for (const auto& d : defs)
        if (hx::IsSettingRegister(d.address) && d.scope.find('~') != std::string::npos && d.dataType != "INT") {
            ranged = &d;
            break;
        }
    ASSERT_NE(ranged, nullptr);

    // Junk lines are skipped and counted; the rest loads.
    const std::string junk = b.Write("junk.qxr", good + "65536=1\r\nabc=2\r\n5=70000\r\n7=abc\r\n12=3");
    Result r = b.Run({"params", "load", junk});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("2150 parameter lines to apply, 5 skipped"), std::string::npos) << r.out;

    // Another drive model, and a value outside its range: refused unless forced.
    std::string other = good;
    other.replace(0, other.find("\r\n"), "DriveType=HX-OTHER-1");
    const std::string otherPath = b.Write("other.qxr", other);
    const std::string key = "\r\n" + std::to_string(ranged->address) + "=";
    std::string outside = good;
    const auto at = outside.find(key) + key.size();
    outside.replace(at, outside.find("\r\n", at) - at, "30001");
    const std::string outsidePath = b.Write("outside.qxr", outside);
    const uint16_t before = b.Vd().Ram(ranged->address);
    for (const std::string& path : {otherPath, outsidePath}) {
        b.Vd().ClearRequests();
        r = b.Run({"params", "load", path});
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
        for (const auto& q : b.Vd().Requests()) EXPECT_NE(q.function, 16) << "a block was written";
    }
    EXPECT_EQ(b.Vd().Ram(ranged->address), before);
    r = b.Run({"params", "load", otherPath, "--force"});
    EXPECT_EQ(r.status, 0) << r.err;

    // Without the database the tool has no types: it refuses to save or load.
    const std::string program = b.folder.File("bare/halvex-cli");
    fs::create_directories(b.folder.File("bare"));
    fs::copy_file(hx::test::CliProgram(), program);
    r = b.Run({"params", "read", "-o", b.folder.File("bare/x.qxr")}, program);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("definitions"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(b.folder.File("bare/x.qxr")));
    r = b.Run({"params", "load", junk}, program);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("definitions"), std::string::npos) << r.err;

    // Whatever is named as a file: a FIFO (whose opening would wait for
    // ever), endless devices, a sparse file of 1 GB, a folder, an empty file,
    // binary junk, UTF-16 text, a missing file, a file of another kind. Every
    // command that reads a file refuses each at once with status 1, shows no
    // byte of it that is not text, and sends nothing to the drive.
    const std::string goodPath = b.Write("good.qxr", good);

    const std::string fifo = b.folder.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string sparse = b.folder.File("sparse.bin");
    {
        std::ofstream(sparse, std::ios::binary).put('1');
        fs::resize_file(sparse, 1ull << 30);
    }
    std::string noise;
    for (int i = 0; i < 4096; ++i) noise += static_cast<char>((i * 37 + 11) & 0xFF);
    const std::string junkPath = b.Write("junk.bin", noise);
    std::string utf16 = "\xFF\xFE";
    for (char c : good.substr(0, 2000)) utf16 += std::string{c, '\0'};
    const std::string utf16Path = b.Write("utf16.qxr", utf16);
    const std::string emptyText = b.Write("empty.txt", "");
    const std::string wave = b.Write("a.wave", "[Wave]\r\nSamplingPoints=200\r\nTypeCHN1=1\r\nSamplingCHN1=00010002\r\n");
    const std::string loop = b.folder.File("loop");
    ASSERT_EQ(::symlink("loop", loop.c_str()), 0);
    const std::string longName = b.folder.File(std::string(300, 'x') + ".qxr");

    const std::vector<std::string> noFiles = {fifo,      "/dev/zero", "/dev/urandom", sparse, b.folder.File(""),
                                              emptyText,     junkPath,    utf16Path,      b.folder.File("missing"),
                                              loop,      longName};
    // Each reader of its own kind of file meets every one; the commands that
    // share the parameter file's reader meet those that could hang or flood it.
    const std::vector<std::string> endless = {fifo, "/dev/zero", sparse, junkPath};
    struct Command {
        std::vector<std::string> words;  // "@" stands for the file
        std::string otherKind;           // a file of another kind for this command
        const std::vector<std::string>& files;
    };
    const std::string csv = b.folder.File("out.csv");
    const Command commands[] = {
        {{"params", "load", "@"}, wave, noFiles},
        {{"params", "restore", "@"}, wave, endless},
        {{"params", "compare", goodPath, "@"}, wave, endless},
        {{"params", "compare", "@", junkPath}, wave, endless},
        {{"wave", "export", "@", csv}, goodPath, noFiles},
        {{"setup", "apply", "@"}, wave, noFiles},
    };
    for (const Command& c : commands) {
        std::vector<std::string> files = c.files;
        files.push_back(c.otherKind);
        for (const std::string& file : files) {
            std::vector<std::string> words = c.words;
            std::ranges::replace(words, std::string("@"), file);
            b.Vd().ClearRequests();
            const Result r = b.Run(words);
            const std::string what = words[0] + " " + words[1] + " " + file;
            EXPECT_EQ(r.status, 1) << what << ": " << r.err;
            EXPECT_EQ(r.out, "") << what;
            EXPECT_EQ(b.Vd().RequestCount(), 0u) << what;
            const auto printable = [](unsigned char u) { return u == '\n' || (u >= 0x20 && u < 0x7F); };
            EXPECT_TRUE(std::all_of(r.err.begin(), r.err.end(), printable)) << what << ": " << r.err;
        }
    }
    EXPECT_FALSE(fs::exists(csv));

    // What the message says of the large ones and of those that are no files.
    r = b.Run({"wave", "export", sparse, csv});
    EXPECT_EQ(r.err, "halvex-cli: cannot read " + sparse + ": larger than 16 MiB, more than any such file holds\n");
    r = b.Run({"setup", "apply", "/dev/zero"});
    EXPECT_EQ(r.err, "halvex-cli: cannot read /dev/zero: not a regular file\n");
    r = b.Run({"params", "restore", emptyText});
    EXPECT_EQ(r.err, "halvex-cli: The file \"" + emptyText + "\" holds no parameter line that can be loaded.\n");
    r = b.Run({"setup", "apply", junkPath});
    EXPECT_EQ(r.err.rfind("halvex-cli: " + junkPath + ": line 1: expected name=value: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("0Uz\\x9F\\xC4\\xE9\\x0E3X}"), std::string::npos) << r.err;

    // The waveform file named as its own export is left as it was.
    r = b.Run({"wave", "export", wave, wave});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "halvex-cli: " + wave + " is the waveform file itself; give another name for the CSV\n");
    EXPECT_EQ(hx::test::ReadFileBytes(wave), "[Wave]\r\nSamplingPoints=200\r\nTypeCHN1=1\r\nSamplingCHN1=00010002\r\n");
}

// Every output (a parameter file, a capture, a spectrum, an export, a plot,
// the summary of many drives) writes into a character device or a FIFO
// found at its name, as a shell's redirection would, and leaves the node a
// node; a device that refuses the bytes fails the command. A socket or a
// folder there is refused. (Nodes made in the test's folder, never /dev.)
TEST(CliHonest, OutputsWriteIntoDevicesAndFifosAndLeaveThemSo) {
    Bench b;
    const std::string wave = b.folder.File("in.wave");
    ASSERT_EQ(b.Run({"capture", "--channels", "1", "-o", wave}).status, 0);
    struct Output {
        std::vector<std::string> words;  // "@" stands for the output
        std::string extension, begins;   // what the bytes begin with
    };
    const Output outputs[] = {
        {{"params", "read", "-o", "@"}, ".qxr", "DriveType="},
        {{"capture", "--channels", "1", "-o", "@"}, ".csv", "PerCHnPoints,200"},
        {{"fft", "-o", "@"}, ".csv", "Bin,Frequency(Hz),Value"},
        {{"wave", "export", wave, "@"}, ".csv", "PerCHnPoints,200"},
        {{"wave", "plot", wave, "--size", "16x16", "-o", "@"}, ".png", "\x89PNG"},
        {{"--summary-json", "@", "identity"}, ".json", "{"},
    };
    // A copy of /dev/null takes everything; one of /dev/full refuses it.
    const bool devices = ::mknod(b.folder.File("probe").c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0;
    const auto words = [](std::vector<std::string> w, const std::string& target) {
        std::ranges::replace(w, std::string("@"), target);
        return w;
    };
    int n = 0;
    for (const Output& o : outputs) {
        SCOPED_TRACE(o.words.front() + " " + o.words[1]);
        const std::string fifo = b.folder.File("fifo" + std::to_string(++n) + o.extension);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // The reader is there first, with room for all the bytes.
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        ::fcntl(reader, F_SETPIPE_SZ, 1 << 20);
        Result r = b.Run(words(o.words, fifo));
        EXPECT_EQ(r.status, 0) << r.err;
        std::string got(1 << 20, '\0');
        const ssize_t read = ::read(reader, got.data(), got.size());
        ::close(reader);
        got.resize(read > 0 ? static_cast<size_t>(read) : 0);
        EXPECT_EQ(got.rfind(o.begins, 0), 0u) << got.substr(0, 40);
        struct stat st {};
        ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "replaced by a file";
        if (!devices) continue;
        // /dev/null's success once: the writes share one way into a node.
        for (const unsigned minor : n == 1 ? std::vector{3u, 7u} : std::vector{7u}) {
            const std::string node = b.folder.File("dev" + std::to_string(n) + "-" + std::to_string(minor) + o.extension);
            ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0600, ::makedev(1, minor)), 0);
            r = b.Run(words(o.words, node));
            EXPECT_EQ(r.status, minor == 3 ? 0 : 1) << node << ": " << r.err;
            ASSERT_EQ(::lstat(node.c_str(), &st), 0);
            EXPECT_TRUE(S_ISCHR(st.st_mode)) << node << " replaced by a file";
        }
    }
    // A folder or a socket at the name: a clear refusal.
    const std::string socketPath = b.folder.File("s.qxr");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_directories(b.folder.File("d.qxr"));
    for (const auto& [target, says] : {std::pair{socketPath, "is a socket, not a file"},
                                       {b.folder.File("d.qxr"), "Is a directory"}}) {
        const Result r = b.Run({"params", "read", "-o", target});
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
    ::close(sock);
    if (!devices) GTEST_SKIP() << "mknod refused here: the character-device cases did not run";
}

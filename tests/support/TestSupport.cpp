#include "support/TestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/protocol/ServoParameters.h"
#include "core/settings/AppPaths.h"
#include "sim/VirtualDrive.h"

namespace fs = std::filesystem;

namespace hx::test {

std::string BuildBinFolder() { return HALVEX_BIN_DIR; }

TempProgramFolder::TempProgramFolder() {
    std::string tmpl = (fs::temp_directory_path() / "halvex-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
    std::error_code ec;
    fs::copy_file(fs::path(BuildBinFolder()) / "DATA.sqlite", fs::path(m_path) / "DATA.sqlite", ec);
    if (fs::exists(fs::path(BuildBinFolder()) / "HelpFile"))
        fs::copy(fs::path(BuildBinFolder()) / "HelpFile", fs::path(m_path) / "HelpFile", fs::copy_options::recursive, ec);
    hx::SetProgramFolder(m_path);
    // What the programs remember about drives stays in the test's folder,
    // also for the programs a test starts.
    if (const char* old = std::getenv("XDG_STATE_HOME")) m_oldStateHome = old;
    ::setenv("XDG_STATE_HOME", File("state").c_str(), 1);
}

TempProgramFolder::~TempProgramFolder() {
    hx::SetProgramFolder({});
    if (m_oldStateHome)
        ::setenv("XDG_STATE_HOME", m_oldStateHome->c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::string TempProgramFolder::File(const std::string& relative) const { return m_path + "/" + relative; }
std::string TempProgramFolder::SettingsPath() const { return File("Parameters/EnvSetting.ini"); }
std::string TempProgramFolder::DatabasePath() const { return File("DATA.sqlite"); }

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool PollUntil(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!cond() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return cond();
}

}  // namespace hx::test

namespace hx::test {

void SetStiffLoops(hx::sim::VirtualDrive& drive) {
    using hx::servo::Param;
    const std::pair<Param, double> loops[] = {
        {Param::PositionGain, 120},         {Param::SpeedGain, 40},          {Param::SpeedIntegralTime, 0.0133},
        {Param::SpeedFeedforward, 0.8},     {Param::SpeedFeedforwardFilter, 0}, {Param::InertiaRatio, 2},
        {Param::TorqueFilter, 0}};
    for (const auto& [p, si] : loops)
        drive.SetRam(*hx::servo::Address(hx::servo::Model::Krv4, p), static_cast<uint16_t>(hx::servo::SiToWord(p, si)));
}

std::vector<uint16_t> WrittenAddresses(const hx::sim::VirtualDrive& drive, const std::vector<uint16_t>& among) {
    std::vector<uint16_t> out;
    for (const auto& r : drive.Requests())
        if ((r.function == 6 || r.function == 16) &&
            (among.empty() || std::find(among.begin(), among.end(), r.address) != among.end()))
            out.push_back(r.address);
    return out;
}

std::vector<uint16_t> RequestAddresses(const hx::sim::VirtualDrive& drive, uint8_t function) {
    std::vector<uint16_t> out;
    for (const auto& r : drive.Requests())
        if (r.function == function) out.push_back(r.address);
    return out;
}

}  // namespace hx::test

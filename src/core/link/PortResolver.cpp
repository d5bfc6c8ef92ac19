#include "core/link/PortResolver.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <sys/stat.h>

#include "core/settings/AppPaths.h"
#include "core/settings/ProfileFile.h"
#include "core/util/Text.h"

namespace hx {
namespace {

std::mutex g_overrideMutex;
std::map<std::string, std::string> g_overrides;  // keyed by upper-case name
std::string g_deviceFolder = "/dev";

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

bool startsWithNoCase(const std::string& s, const char* prefix) {
    const std::string p(prefix);
    return s.size() >= p.size() && upper(s.substr(0, p.size())) == upper(p);
}

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// A device path, "tcp:HOST:PORT", or a bare device name under /dev.
PortTarget targetFromText(const std::string& text) {
    PortTarget t;
    if (startsWithNoCase(text, "tcp:")) {
        if (PortResolver::ParseTcp(text, &t.host, &t.port)) {
            t.kind = PortTarget::Kind::Tcp;
        } else {
            t.kind = PortTarget::Kind::Invalid;
            t.device = "not a valid tcp:HOST:PORT address: " + text;
        }
        return t;
    }
    if (text.empty()) {
        t.device = "empty port name";
        return t;
    }
    t.kind = PortTarget::Kind::Serial;
    t.device = text.front() == '/' ? text : "/dev/" + text;
    return t;
}

}  // namespace

std::string PortTarget::ToString() const {
    switch (kind) {
    case Kind::Serial: return device;
    case Kind::Tcp: return "tcp:" + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                           std::to_string(port);
    case Kind::Invalid: break;
    }
    return device;
}

bool PortResolver::ParseTcp(const std::string& text, std::string* host, int* port) {
    if (!startsWithNoCase(text, "tcp:")) return false;
    const std::string rest = text.substr(4);
    const auto colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= rest.size()) return false;
    std::string h = rest.substr(0, colon);
    if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
    if (h.empty()) return false;
    const std::string p = rest.substr(colon + 1);
    if (p.size() > 5 || !std::all_of(p.begin(), p.end(), [](unsigned char c) { return std::isdigit(c); })) return false;
    const int n = std::stoi(p);
    if (n < 1 || n > 65535) return false;
    if (host) *host = h;
    if (port) *port = n;
    return true;
}

int PortResolver::ComNumber(const std::string& name) {
    if (name.size() < 4 || !startsWithNoCase(name, "COM")) return 0;
    const std::string digits = name.substr(3);
    if (digits.size() > 3 || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return 0;
    const int n = std::stoi(digits);
    return n >= 1 ? n : 0;
}

PortTarget PortResolver::Resolve(const std::string& rawName) {
    const std::string name = Trim(rawName);
    {
        std::lock_guard lock(g_overrideMutex);
        auto it = g_overrides.find(upper(name));
        if (it != g_overrides.end()) return targetFromText(it->second);
    }
    const int n = ComNumber(name);
    if (n == 0) return targetFromText(name);

    const std::string key = "COM" + std::to_string(n);
    const std::string mapped = Trim(GetProfileString(PortsIniPath(), "Ports", key, "", 512));
    if (!mapped.empty()) return targetFromText(mapped);

    std::string folder;
    {
        std::lock_guard lock(g_overrideMutex);
        folder = g_deviceFolder;
    }
    const std::string index = std::to_string(n - 1);
    PortTarget t;
    t.kind = PortTarget::Kind::Serial;
    // A USB adapter first, then a modem-class USB device, then a built-in port.
    if (exists(folder + "/ttyUSB" + index))
        t.device = folder + "/ttyUSB" + index;
    else if (exists(folder + "/ttyACM" + index))
        t.device = folder + "/ttyACM" + index;
    else
        t.device = folder + "/ttyS" + index;
    return t;
}

bool PortResolver::Configured(const std::string& rawName) {
    const std::string name = Trim(rawName);
    {
        std::lock_guard lock(g_overrideMutex);
        if (g_overrides.count(upper(name))) return true;
    }
    if (ComNumber(name) == 0) return Resolve(name).kind != PortTarget::Kind::Invalid;
    const PortTarget t = Resolve(name);
    if (t.kind == PortTarget::Kind::Tcp) return true;
    const std::string mapped = Trim(GetProfileString(PortsIniPath(), "Ports", "COM" + std::to_string(ComNumber(name)), "", 512));
    return !mapped.empty() || t.device.find("/ttyS") == std::string::npos;
}

void PortResolver::SetOverride(const std::string& name, const std::string& target) {
    std::lock_guard lock(g_overrideMutex);
    g_overrides[upper(Trim(name))] = Trim(target);
}

void PortResolver::ClearOverride(const std::string& name) {
    std::lock_guard lock(g_overrideMutex);
    g_overrides.erase(upper(Trim(name)));
}

void PortResolver::ClearOverrides() {
    std::lock_guard lock(g_overrideMutex);
    g_overrides.clear();
}

void PortResolver::SetDeviceFolder(const std::string& folder) {
    std::lock_guard lock(g_overrideMutex);
    g_deviceFolder = folder.empty() ? "/dev" : folder;
}

}  // namespace hx

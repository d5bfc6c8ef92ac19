#include "core/settings/EnvSettings.h"

#include <algorithm>

#include "core/settings/AppPaths.h"
#include "core/settings/ProfileFile.h"

namespace hx::env {

std::string Read(const char* section, const char* key, const char* def) {
    return GetProfileString(SettingsPath(), section, key, def);
}

int ReadInt(const char* section, const char* key, const char* def) { return ProfileToInt(Read(section, key, def)); }

int LateHorizonMs() {
    return std::clamp(ProfileToInt(GetProfileString(SettingsPath(), kReadComDelay, "LateHorizon", "0", 32)), 0, 600000);
}

bool Write(const char* section, const char* key, const std::string& value) {
    return WriteProfileString(SettingsPath(), section, key, value);
}

namespace {
// Read() keeps the classic keys to 6 characters; a folder needs a path's room.
constexpr std::size_t kPathBuffer = 4097;
}  // namespace

std::string LastFolder(const std::string& kind) {
    if (kind.empty()) return {};
    return GetProfileString(SettingsPath(), kFolders, kind, "", kPathBuffer);
}

void RememberFolder(const std::string& kind, const std::string& folder) {
    if (kind.empty() || folder.empty() || folder.find('\n') != std::string::npos) return;
    WriteProfileString(SettingsPath(), kFolders, kind, folder);
}

}  // namespace hx::env

#include "core/settings/EnvSettings.h"

#include "core/settings/AppPaths.h"
#include "core/settings/ProfileFile.h"

namespace hx::env {

std::string Read(const char* section, const char* key, const char* def) {
    return GetProfileString(SettingsPath(), section, key, def);
}

int ReadInt(const char* section, const char* key, const char* def) { return ProfileToInt(Read(section, key, def)); }

bool Write(const char* section, const char* key, const std::string& value) {
    return WriteProfileString(SettingsPath(), section, key, value);
}

}  // namespace hx::env

#pragma once
// The keys of the settings file, read and written one at a time.

#include <string>

namespace hx::env {

inline constexpr const char* kLanguage = "Language";       // Type
inline constexpr const char* kQxModel = "QxModel";         // Yes
inline constexpr const char* kComSetting = "COMSetting";   // COM
inline constexpr const char* kDrive = "Drive";             // DriveNo
inline constexpr const char* kReadComDelay = "ReadComDelay";  // DelayTime

std::string Read(const char* section, const char* key, const char* def);
int ReadInt(const char* section, const char* key, const char* def);
bool Write(const char* section, const char* key, const std::string& value);

}  // namespace hx::env

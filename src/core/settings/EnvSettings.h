#pragma once
// The keys of the settings file, read and written one at a time.

#include <string>

namespace hx::env {

inline constexpr const char* kLanguage = "Language";       // Type
inline constexpr const char* kQxModel = "QxModel";         // Yes
inline constexpr const char* kComSetting = "COMSetting";   // COM
inline constexpr const char* kDrive = "Drive";             // DriveNo
inline constexpr const char* kReadComDelay = "ReadComDelay";  // DelayTime

inline constexpr const char* kFolders = "Folders";         // one key per kind of file: the last folder used

std::string Read(const char* section, const char* key, const char* def);
int ReadInt(const char* section, const char* key, const char* def);
bool Write(const char* section, const char* key, const std::string& value);

// [ReadComDelay] LateHorizon in ms, 0..600000 (0: the link's own rule).
// Read whole: the classic keys' five characters would make 120000 into 12000.
int LateHorizonMs();

// The folder a file dialog for this kind of file ("qxr", "wave", "csv") last
// used; empty when none was kept. Unlike the classic keys it is read whole.
std::string LastFolder(const std::string& kind);
void RememberFolder(const std::string& kind, const std::string& folder);

}  // namespace hx::env

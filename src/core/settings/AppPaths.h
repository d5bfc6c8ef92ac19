#pragma once
// Where the program finds its files. The program folder is the folder of the
// running executable; the database, help pages and tools are found there.
// When that folder cannot be written (an installed copy), the settings and
// a private copy of the database live under the user's configuration folder
// in the same relative places.

#include <string>

namespace hx {

std::string ProgramFolder();
// Tests and the in-process simulator point the program at another folder.
void SetProgramFolder(const std::string& folder);

// Whether this is an installed copy: no DATA.sqlite beside the executable,
// but one in ../share/halvex. A build folder holds its data beside the
// programs and is not an installed copy.
bool IsInstalledCopy();
// The folder that holds DATA.sqlite, HelpFile/, i18n/ and Tools/.
std::string DataFolder();
// $XDG_CONFIG_HOME/halvex (default ~/.config/halvex).
std::string UserConfigFolder();
// $XDG_DATA_HOME/halvex (default ~/.local/share/halvex): what the program
// keeps for the user, such as the backups of drives and the change journal.
// Looked up at each call, so a test can point it elsewhere.
std::string UserDataFolder();
// $XDG_STATE_HOME/halvex (default ~/.local/state/halvex): what the program
// must remember about drives between runs.
std::string UserStateFolder();
// The folder that receives Parameters/ and a writable database: the program
// folder when it is writable, else the user's configuration folder.
std::string WritableFolder();

std::string SettingsPath();     // .../Parameters/EnvSetting.ini
std::string PortsIniPath();     // .../Parameters/Ports.ini (the writable folder's, else the program folder's)
std::string DatabasePath();     // .../DATA.sqlite, copied to the writable folder when needed

}  // namespace hx

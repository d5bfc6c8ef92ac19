#pragma once
// The backups of drives' parameter sets: plain parameter files (*.qxr, the
// format the parameter manager loads), one folder per display model,
//   <folder>/<display model>/<YYYYMMDD-HHMMSS>-<port>-st<N>.qxr
// Each is written to a temporary file and renamed into place only once
// complete, and never over another file: a second backup within the same
// second gets "-2", "-3", ... before ".qxr". After each new backup only the
// newest `keep` of its drive (model, port and station) stay.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace hx {

struct BackupEntry {
    std::string path;
    std::string model;    // the folder: the display model as made safe for a name
    std::string stamp;    // "YYYYMMDD-HHMMSS"
    std::string port;     // as made safe for a name ("dev_ttyUSB0", "COM1")
    int station = 0;
    int sequence = 1;     // 2, 3, ... for a second backup within a second
};

class BackupStore {
public:
    static constexpr int kDefaultKeep = 50;

    // folder: where the model folders are; empty for the user's data folder.
    explicit BackupStore(std::string folder = {});

    const std::string& Folder() const { return m_folder; }

    // [Backup] Keep of the settings file: the backups kept per drive (at
    // least 1; kDefaultKeep when unset or not a number).
    static int KeepFromSettings();
    // A text made fit for a file or folder name: letters, digits, '.', '_'
    // and '-' stay, anything else becomes '_' (no leading dots or blanks).
    static std::string SafeName(std::string_view text);
    // "YYYYMMDD-HHMMSS" in local time.
    static std::string Stamp(std::time_t when);

    // Writes bytes as a new backup and prunes the drive's backups to `keep`,
    // the new one always among them.
    // False with *error naming the file and the reason (nothing is left
    // behind then, and no older backup is touched).
    bool Save(const std::string& displayModel, const std::string& port, int station, std::time_t when,
              std::string_view bytes, int keep, std::string* path, std::string* error) const;

    // Every backup, newest first; model, port and station narrow the list
    // when given (model and port compared in their safe form).
    std::vector<BackupEntry> List(const std::string& model = {}, const std::string& port = {},
                                  int station = -1) const;

    // The parts of a backup's file name; false for a file that is not one.
    static bool ParseName(const std::string& fileName, BackupEntry* entry);

private:
    void Prune(const std::string& modelFolder, const std::string& safePort, int station, const std::string& kept,
               int keep) const;

    std::string m_folder;
};

}  // namespace hx

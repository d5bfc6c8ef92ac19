#include "core/backup/BackupStore.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"
#include "core/settings/AppPaths.h"
#include "core/settings/EnvSettings.h"
#include "core/util/AtomicFile.h"

namespace fs = std::filesystem;

namespace hx {
namespace {

constexpr std::string_view kExtension = ".qxr";
constexpr std::size_t kStampLength = 15;  // YYYYMMDD-HHMMSS
// Enough for any number of backups within one second.
constexpr int kMaxSequence = 1000;

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string FileName(const std::string& stamp, const std::string& port, int station, int sequence) {
    std::string name = stamp + "-" + port + "-st" + std::to_string(station);
    if (sequence > 1) name.append(1, '-').append(std::to_string(sequence));
    return name + std::string(kExtension);
}

// Newest first: by time, then the later of two backups within one second.
bool Newer(const BackupEntry& a, const BackupEntry& b) {
    if (a.stamp != b.stamp) return a.stamp > b.stamp;
    if (a.sequence != b.sequence) return a.sequence > b.sequence;
    return a.path > b.path;
}

std::vector<BackupEntry> EntriesIn(const fs::path& folder, const std::string& model) {
    std::vector<BackupEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        BackupEntry e;
        std::error_code statError;
        if (!it->is_regular_file(statError) || !BackupStore::ParseName(it->path().filename().string(), &e)) continue;
        e.path = it->path().string();
        e.model = model;
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace

BackupStore::BackupStore(std::string folder)
    : m_folder(folder.empty() ? (fs::path(UserDataFolder()) / "backups").string() : std::move(folder)) {}

int BackupStore::KeepFromSettings() {
    const int keep = env::ReadInt("Backup", "Keep", "50");
    return keep >= 1 ? keep : kDefaultKeep;
}

std::string BackupStore::SafeName(std::string_view text) {
    std::string out;
    for (char c : text) {
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
        out += plain ? c : '_';
    }
    // No hidden files, no "." or "..", no names that begin like an option.
    const auto first = out.find_first_not_of("._-");
    out = first == std::string::npos ? std::string() : out.substr(first);
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out.empty() ? "unknown" : out;
}

std::string BackupStore::Stamp(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

bool BackupStore::ParseName(const std::string& fileName, BackupEntry* entry) {
    std::string_view name(fileName);
    if (name.size() <= kStampLength + kExtension.size() || name.substr(name.size() - kExtension.size()) != kExtension)
        return false;
    name.remove_suffix(kExtension.size());
    const std::string_view stamp = name.substr(0, kStampLength);
    if (!AllDigits(stamp.substr(0, 8)) || stamp[8] != '-' || !AllDigits(stamp.substr(9, 6)) ||
        name[kStampLength] != '-')
        return false;
    std::string_view rest = name.substr(kStampLength + 1);
    int sequence = 1;
    // "-st<N>" ends the name, or "-st<N>-<k>" for a later backup of the same second.
    auto station = rest.rfind("-st");
    if (station == std::string_view::npos) return false;
    std::string_view tail = rest.substr(station + 3);
    const auto dash = tail.find('-');
    if (dash != std::string_view::npos) {
        // Only numbers Save can give: a file someone named with a longer
        // one is not a backup, and must not stop the folder being read.
        const std::string_view digits = tail.substr(dash + 1);
        if (!AllDigits(digits) || digits.size() > 4) return false;
        std::from_chars(digits.data(), digits.data() + digits.size(), sequence);
        if (sequence < 1 || sequence > kMaxSequence) return false;
        tail = tail.substr(0, dash);
    }
    if (!AllDigits(tail) || tail.size() > 3 || station == 0) return false;
    entry->stamp = std::string(stamp);
    entry->port = std::string(rest.substr(0, station));
    std::from_chars(tail.data(), tail.data() + tail.size(), entry->station);
    entry->sequence = sequence;
    return true;
}

bool BackupStore::Save(const std::string& displayModel, const std::string& port, int station, std::time_t when,
                       std::string_view bytes, int keep, std::string* path, std::string* error) const {
    const fs::path folder = fs::path(m_folder) / SafeName(displayModel);
    const auto fail = [&](const std::string& target, int err) {
        if (error)
            *error = FillIn(Translate("Backup", QT_TRANSLATE_NOOP("Backup", "无法保存备份文件 %1: %2"),
                                      "Cannot save the backup %1: %2"),
                            {"\"" + target + "\"", std::strerror(err)});
        return false;
    };
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return fail(folder.string(), ec.value());

    const std::string stamp = Stamp(when);
    const std::string safePort = SafeName(port);
    for (int sequence = 1; sequence <= kMaxSequence; ++sequence) {
        const std::string target = (folder / FileName(stamp, safePort, station, sequence)).string();
        if (fs::exists(target, ec)) continue;
        AtomicFile file(target);
        if (file.Open() && file.Write(bytes) && file.CommitNew()) {
            if (path) *path = target;
            Prune(folder.string(), safePort, station, target, keep);
            return true;
        }
        // Another backup took the name between the look and the rename.
        if (file.FailedStep() == AtomicFile::Step::Commit && file.Errno() == EEXIST) continue;
        return fail(target, file.Errno());
    }
    return fail((folder / FileName(stamp, safePort, station, kMaxSequence)).string(), EEXIST);
}

void BackupStore::Prune(const std::string& modelFolder, const std::string& safePort, int station,
                        const std::string& kept, int keep) const {
    // Counted per drive: the backups of the other drives of a model (a whole
    // line of them loaded with one file) are each one's way back, which the
    // journal names.
    std::vector<BackupEntry> entries = EntriesIn(modelFolder, {});
    std::erase_if(entries, [&](const BackupEntry& e) { return e.port != safePort || e.station != station; });
    std::sort(entries.begin(), entries.end(), Newer);
    // The one just written is the newest whatever its name says: a clock set
    // back or a change of time zone stamps it earlier than the others.
    std::stable_partition(entries.begin(), entries.end(), [&](const BackupEntry& e) { return e.path == kept; });
    std::error_code ec;
    for (std::size_t i = static_cast<std::size_t>(std::max(keep, 1)); i < entries.size(); ++i)
        fs::remove(entries[i].path, ec);
}

std::vector<BackupEntry> BackupStore::List(const std::string& model, const std::string& port, int station) const {
    std::vector<BackupEntry> all;
    std::error_code ec;
    const std::string safeModel = model.empty() ? std::string() : SafeName(model);
    const std::string safePort = port.empty() ? std::string() : SafeName(port);
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statError;
        if (!it->is_directory(statError)) continue;
        const std::string folderName = it->path().filename().string();
        if (!safeModel.empty() && folderName != safeModel) continue;
        for (BackupEntry& e : EntriesIn(it->path(), folderName)) {
            if (!safePort.empty() && e.port != safePort) continue;
            if (station >= 0 && e.station != station) continue;
            all.push_back(std::move(e));
        }
    }
    std::sort(all.begin(), all.end(), Newer);
    return all;
}

}  // namespace hx

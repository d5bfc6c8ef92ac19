#include "core/backup/ChangeGate.h"

#include <array>
#include <cctype>
#include <filesystem>

#include "core/Globals.h"
#include "core/backup/GateState.h"
#include "core/db/CADO.h"
#include "core/db/ModelMapping.h"
#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "core/protocol/Registers.h"
#include "core/settings/AppPaths.h"
#include "core/settings/EnvSettings.h"
#include "core/util/Text.h"

namespace fs = std::filesystem;

namespace hx {

std::string GateText(const char* chinese, const char* english, std::initializer_list<std::string> arguments) {
    return FillIn(Translate("Backup", chinese, english), arguments);
}

std::array<uint16_t, reg::kStoreSize> WordsOf(const CParameter& table) {
    std::array<uint16_t, reg::kStoreSize> words{};
    for (int i = 0; i < reg::kStoreSize; ++i)
        words[i] = static_cast<uint16_t>(table.Slot(StoreAddress(i)) & 0xFFFF);
    return words;
}

namespace {

std::string Text(const char* chinese, const char* english, std::initializer_list<std::string> arguments) {
    return GateText(chinese, english, arguments);
}

}  // namespace

const char* OriginKey(ChangeOrigin origin) {
    switch (origin) {
    case ChangeOrigin::Edit: return "edit";
    case ChangeOrigin::File: return "file";
    case ChangeOrigin::Wizard: return "wizard";
    case ChangeOrigin::Slider: return "slider";
    case ChangeOrigin::Gains: return "gains";
    case ChangeOrigin::CommandLine: return "command line";
    case ChangeOrigin::Tune: return "tune";
    case ChangeOrigin::Command: return "command";
    case ChangeOrigin::Undo: return "undo";
    case ChangeOrigin::Restore: return "restore";
    case ChangeOrigin::Alarms: return "alarms";
    }
    return "edit";
}

DriveInfo DriveInfo::LastConnected() {
    return DriveInfo{g_productModel, g_driveSoftVersion, g_driveModel,
                     g_displayModel.empty() ? g_productModel : g_displayModel, g_firmwareVersion};
}

std::string LookupDisplayModelFor(const std::string& productModel) {
    try {
        CADO db;
        if (!db.OpenConnection(DatabaseConnectionString())) return {};
        const bool qxModel = env::Read(env::kQxModel, "Yes", "0") == "1";
        return LookupDisplayModel(db, productModel, qxModel).value_or(std::string());
    } catch (const DbError&) {
        return {};
    }
}

std::optional<DriveInfo> ReadDriveInfo(CQXCOM& comm, uint8_t station) {
    // A silent drive costs one request's tries, not those of each identity register.
    if (!DriveAnswers(comm, station)) return std::nullopt;
    const DriveIdentity id = ReadDriveIdentity(comm, station);
    if (!id.complete) return std::nullopt;
    std::string display = LookupDisplayModelFor(id.productModel);
    return DriveInfo{id.productModel, id.softVersionText, id.driveModel,
                     display.empty() ? id.productModel : display, id.firmwareVersion};
}

// ---------------------------------------------------------------------------

ChangeGate::ChangeGate(std::string dataFolder)
    : m_dataFolder(std::move(dataFolder)), m_session(ChangeJournal::NewSessionName()) {}

ChangeGate::~ChangeGate() = default;

std::string ChangeGate::DataFolder() const { return m_dataFolder.empty() ? UserDataFolder() : m_dataFolder; }

std::string ChangeGate::BackupFolder() const { return (fs::path(DataFolder()) / "backups").string(); }

ChangeGate::Key ChangeGate::KeyOf(const DriveHandle& drive) {
    return {drive.comm() ? drive.comm()->ConnectionSerial() : 0, drive.station()};
}

ChangeGate::DriveState& ChangeGate::State(const Key& key) {
    auto& slot = m_drives[key];
    if (!slot) slot = std::make_unique<DriveState>();
    return *slot;
}

void ChangeGate::Attach(const DriveHandle& drive, const DriveInfo& info) {
    std::lock_guard lock(m_mutex);
    State(KeyOf(drive)).info = info;
}

void ChangeGate::NoteCompleteRead(const DriveHandle& drive, const CParameter& table) {
    std::lock_guard lock(m_mutex);
    DriveState& st = State(KeyOf(drive));
    st.known = WordsOf(table);
    st.fresh = true;
}

void ChangeGate::ForgetValues(const DriveHandle& drive) {
    std::lock_guard lock(m_mutex);
    DriveState& st = State(KeyOf(drive));
    st.known.reset();
    st.fresh = false;
    st.dirty = true;
}

void ChangeGate::AllowOnceWithoutBackup(const DriveHandle& drive) {
    std::lock_guard lock(m_mutex);
    State(KeyOf(drive)).allowOnce = true;
}

std::string ChangeGate::SessionBackup(const DriveHandle& drive) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_drives.find(KeyOf(drive));
    return it == m_drives.end() ? std::string() : it->second->backupPath;
}

ChangeJournal* ChangeGate::Journal(std::string* error) {
    std::lock_guard lock(m_journalMutex);
    const std::string path = (fs::path(DataFolder()) / "journal.sqlite").string();
    // The data folder follows the environment; a journal opened elsewhere
    // before is given up for the one that belongs there now.
    if (m_journal && m_journalPath == path && m_journal->IsOpen()) return m_journal.get();
    auto journal = std::make_unique<ChangeJournal>();
    if (!journal->Open(path, error)) return nullptr;
    // Callers may still hold the previous one: it stays alive, closed by no one.
    if (m_journal) m_retired.push_back(std::move(m_journal));
    m_journal = std::move(journal);
    m_journalPath = path;
    return m_journal.get();
}

std::optional<UnfinishedWrite> ChangeGate::TakeUnfinished(const std::string& port, int station) {
    ChangeJournal* journal = Journal();
    if (!journal) return std::nullopt;
    bool running = false;
    auto unfinished = journal->Unfinished(port, station, &running);
    if (unfinished) journal->MarkReported(unfinished->action);
    // Said once; a write that is still running keeps its marker.
    if (!running) journal->ClearMarker(port, station);
    return unfinished;
}

namespace {

// What "the drive's values" are for the backup to put back: its settings,
// and the commands that replace them all.
bool ChangesValues(uint16_t address) {
    return IsSettingRegister(address) || address == reg::kRestoreCommand || address == reg::kBurnCommand;
}

}  // namespace

std::optional<LastChange> ChangeGate::BackupBeforeLastChange(const std::string& port, int station, std::string* error) {
    std::string why;
    ChangeJournal* journal = Journal(&why);
    const auto fail = [&](const std::string& text) {
        if (error) *error = text;
        return std::nullopt;
    };
    if (!journal) return fail(why);
    // A restore or an undo puts earlier values back: the state before it is
    // what the user turned away from, never what "latest" goes back to.
    auto last = journal->LastChangeOf(port, station, {OriginKey(ChangeOrigin::Restore), OriginKey(ChangeOrigin::Undo)},
                                      &ChangesValues);
    if (!last)
        return fail(Text(QT_TRANSLATE_NOOP("Backup", "变更记录中没有 %1 站号 %2 的参数变更"),
                         "the change journal holds no change of the settings of station %2 on %1",
                         {port, std::to_string(station)}));
    if (last->backup.empty())
        return fail(Text(QT_TRANSLATE_NOOP("Backup", "最近一次变更（%1，%2）写入前没有备份"),
                         "the last change (%1, %2) was made without a backup",
                         {last->what.empty() ? last->origin : last->what, last->time}));
    return last;
}

std::string ChangeGate::UnfinishedMark(const std::string& port, int station) const {
    return ChangeJournal::MarkerPath((fs::path(DataFolder()) / "journal.sqlite").string(), port, station);
}

bool ChangeGate::MayHaveUnfinished(const std::string& port, int station) const {
    std::error_code ec;
    return fs::exists(UnfinishedMark(port, station), ec);
}

std::map<uint16_t, ChangeGate::Definition> ChangeGate::Definitions(const std::string& driveModel) {
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_definitions.find(driveModel);
        if (it != m_definitions.end()) return it->second;
    }
    std::map<uint16_t, Definition> defs;
    try {
        for (const ParameterDefinition& d : LoadDefinitions(DatabasePath(), driveModel))
            defs[d.address] = Definition{d.name, Trim(d.dataType)};
    } catch (const DbError&) {
        // Without definitions the journal has no names and values are words.
    }
    std::lock_guard lock(m_mutex);
    m_definitions[driveModel] = defs;
    return defs;
}

}  // namespace hx

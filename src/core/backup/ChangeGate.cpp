#include "core/backup/ChangeGate.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <ctime>
#include <filesystem>

#include "core/Globals.h"
#include "core/db/CADO.h"
#include "core/db/ModelMapping.h"
#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ParameterFile.h"
#include "core/params/ReadAllJob.h"
#include "core/protocol/Registers.h"
#include "core/settings/AppPaths.h"
#include "core/settings/EnvSettings.h"
#include "core/util/Text.h"

namespace fs = std::filesystem;

namespace hx {

struct ChangeGate::DriveState {
    std::optional<DriveInfo> info;
    // The drive's words by slot as last known: from a complete read or the
    // backup, then each confirmed change.
    std::optional<std::array<uint16_t, reg::kStoreSize>> known;
    // known came from a complete read and nothing was written since.
    bool fresh = false;
    // Something was written since the backup.
    bool dirty = false;
    std::string backupPath;
    bool allowOnce = false;
};

namespace {

std::string Text(const char* chinese, const char* english, std::initializer_list<std::string> arguments) {
    return FillIn(Translate("Backup", chinese, english), arguments);
}

std::array<uint16_t, reg::kStoreSize> WordsOf(const CParameter& table) {
    std::array<uint16_t, reg::kStoreSize> words{};
    for (int i = 0; i < reg::kStoreSize; ++i)
        words[i] = static_cast<uint16_t>(table.Slot(StoreAddress(i)) & 0xFFFF);
    return words;
}

bool IsIntHalf(const std::map<uint16_t, ChangeGate::Definition>& defs, uint16_t address, std::string* name) {
    const auto own = defs.find(address);
    if (own != defs.end() && own->second.dataType == "INT") {
        *name = own->second.name;
        return true;
    }
    const auto next = defs.find(static_cast<uint16_t>(address + 1));
    if (next != defs.end() && next->second.dataType == "INT") {
        *name = next->second.name;
        return true;
    }
    if (own != defs.end()) *name = own->second.name;
    return false;
}

// A word as the journal shows it: unsigned for USHORT parameters and the
// halves of INT ones, signed otherwise.
int32_t Shown(const std::map<uint16_t, ChangeGate::Definition>& defs, uint16_t address, uint16_t word,
              std::string* name) {
    const bool half = IsIntHalf(defs, address, name);
    const auto own = defs.find(address);
    if (half || (own != defs.end() && own->second.dataType == "USHORT")) return word;
    return static_cast<int16_t>(word);
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
    }
    return "edit";
}

DriveInfo DriveInfo::FromGlobals() {
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

ChangeGate& ChangeGate::Instance() {
    static ChangeGate gate;
    return gate;
}

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
    auto unfinished = journal->Unfinished(port, station);
    if (unfinished && journal->MarkReported(unfinished->action)) {
        std::error_code ec;
        fs::remove(UnfinishedMark(port, station), ec);
    }
    return unfinished;
}

std::string ChangeGate::UnfinishedMark(const std::string& port, int station) const {
    return (fs::path(DataFolder()) / "unfinished" / PortStationFileName(port, station)).string();
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

// ---------------------------------------------------------------------------

ChangeBatch::ChangeBatch(DriveHandle drive, ChangeOrigin origin, std::string what, ChangeGate* gate)
    : m_gate(gate ? *gate : ChangeGate::Instance()),
      m_drive(drive),
      m_key(ChangeGate::KeyOf(drive)),
      m_origin(origin),
      m_what(std::move(what)) {}

ChangeBatch::~ChangeBatch() {
    if (m_blocksOpen) EndBlocks(false);
}

GateResult ChangeBatch::Prepare(std::stop_token stop, const ProgressCallback& readProgress, PrepareOptions options) {
    GateResult result;
    m_prepared = true;
    const auto journalOrFail = [&]() {
        std::string why;
        m_journal = m_gate.Journal(&why);
        if (!m_journal && !m_noBackup) {
            result.status = GateResult::Status::JournalFailed;
            result.message = Text(QT_TRANSLATE_NOOP("Backup", "无法在变更记录中记下这次写入，没有写入任何参数。\n%1"),
                                  "The change could not be recorded in the change journal, so nothing was "
                                  "written.\n%1",
                                  {why});
        }
        result.backupPath = m_backupPath;
        return result;
    };

    std::optional<DriveInfo> info;
    std::optional<std::array<uint16_t, reg::kStoreSize>> words;
    {
        std::lock_guard lock(m_gate.m_mutex);
        ChangeGate::DriveState& st = m_gate.State(m_key);
        m_backupPath = st.backupPath;
        if (options.withoutBackup || st.allowOnce) {
            st.allowOnce = false;
            m_noBackup = true;
            return journalOrFail();
        }
        const bool haveBackup = !st.backupPath.empty() && !(options.freshBackup && st.dirty);
        if (haveBackup) return journalOrFail();
        info = st.info;
        if (st.fresh && st.known) words = st.known;
    }

    // The window's connected drive is known by the globals its connection set.
    if (!info && m_drive.comm() == &theComm && m_drive.station() == g_station && !g_productModel.empty())
        info = DriveInfo::FromGlobals();
    if (!info) info = ReadDriveInfo(*m_drive.comm(), m_drive.station());
    if (!info) {
        result.status = GateResult::Status::ReadFailed;
        result.message = Text(QT_TRANSLATE_NOOP("Backup", "读取驱动器型号以备份时驱动器没有应答: %1"),
                              "The drive did not answer when its identity was read for the backup: %1",
                              {m_drive.comm()->LastErrorText()});
        return result;
    }
    const auto defs = m_gate.Definitions(info->driveModel);
    CParameter table;
    for (const auto& [address, d] : defs) table.RegisterType(address, d.dataType.c_str());
    if (!words) {
        // ReadAll notes the read with the gate itself.
        const float firmware = info->firmwareVersion > 0.0f ? info->firmwareVersion : m_drive.firmwareVersion();
        const TransferResult read =
            ReadAll(DriveHandle(m_drive.comm(), m_drive.station(), firmware), table, stop, readProgress);
        if (read.status == TransferStatus::Stopped) {
            result.status = GateResult::Status::Stopped;
            return result;
        }
        if (read.status != TransferStatus::Completed) {
            result.status = GateResult::Status::ReadFailed;
            result.message = Text(QT_TRANSLATE_NOOP("Backup", "读取驱动器参数以备份时失败，没有写入任何参数: %1"),
                                  "Reading the drive's parameters for the backup failed, so nothing was "
                                  "written: %1",
                                  {read.linkText.empty() ? read.errorText : read.linkText});
            return result;
        }
        words = WordsOf(table);
    } else {
        for (int i = 0; i < reg::kStoreSize; ++i) {
            const uint16_t w = (*words)[i];
            table.LoadWords(StoreAddress(i), &w, 1);
        }
    }

    const std::string port = m_drive.comm()->PortName();
    const ParameterFileHeader header{info->productModel, info->softVersion,
                                     "Backup before writing, " + port + " station " +
                                         std::to_string(m_drive.station())};
    std::string path, why;
    const BackupStore store = m_gate.Store();
    if (!store.Save(info->displayModel.empty() ? info->productModel : info->displayModel, port, m_drive.station(),
                    std::time(nullptr), FormatParameterFile(table, header), BackupStore::KeepFromSettings(), &path,
                    &why)) {
        result.status = GateResult::Status::BackupFailed;
        result.message = Text(QT_TRANSLATE_NOOP("Backup", "写入前无法保存驱动器参数的备份，没有写入任何参数。\n%1"),
                              "The drive's parameters could not be backed up before writing, so nothing was "
                              "written.\n%1",
                              {why});
        return result;
    }
    {
        std::lock_guard lock(m_gate.m_mutex);
        ChangeGate::DriveState& st = m_gate.State(m_key);
        st.info = info;
        st.backupPath = path;
        st.known = words;
        st.dirty = false;
        m_backupPath = path;
    }
    return journalOrFail();
}

bool ChangeBatch::EnsureAction(std::string* error) {
    if (m_action != 0 || !m_journal) return true;
    std::string model;
    {
        std::lock_guard lock(m_gate.m_mutex);
        const ChangeGate::DriveState& st = m_gate.State(m_key);
        if (st.info) model = st.info->displayModel;
    }
    JournalAction a{m_gate.Session(), m_drive.comm()->PortName(), m_drive.station(), model, OriginKey(m_origin),
                    m_what, m_backupPath, m_blocksTotal};
    m_action = m_journal->BeginAction(a, error);
    return m_action != 0;
}

void ChangeBatch::BeginBlocks(int total) {
    m_blocksTotal = total;
    m_blocksOpen = true;
    // The mark goes before the first block, so a program killed at any
    // moment of the write leaves it; it needs no flush to outlive a kill.
    std::error_code ec;
    const fs::path mark = m_gate.UnfinishedMark(m_drive.comm()->PortName(), m_drive.station());
    fs::create_directories(mark.parent_path(), ec);
    const int fd = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
    std::string why;
    if (!EnsureAction(&why)) m_error = why;
}

void ChangeBatch::BlockDone(int done) {
    if (m_journal && m_action) m_journal->SetProgress(m_action, done);
}

void ChangeBatch::EndBlocks(bool completed) {
    m_blocksOpen = false;
    if (m_journal && m_action) m_journal->Finish(m_action, completed);
    // A write that ended short stays marked until it has been reported.
    if (completed) {
        std::error_code ec;
        fs::remove(m_gate.UnfinishedMark(m_drive.comm()->PortName(), m_drive.station()), ec);
    }
}

bool ChangeBatch::Journal(uint16_t address, const uint16_t* words, int count, Pending* pending, bool onlyChanges) {
    *pending = Pending{};
    if (!m_prepared) {
        m_error = "a change was journaled before the gate was prepared";
        m_journalFailed = true;
        return false;
    }
    std::string model;
    std::optional<std::array<uint16_t, reg::kStoreSize>> known;
    {
        std::lock_guard lock(m_gate.m_mutex);
        ChangeGate::DriveState& st = m_gate.State(m_key);
        // From now on the last read is no longer what the drive holds.
        st.fresh = false;
        st.dirty = true;
        known = st.known;
        if (st.info) model = st.info->driveModel;
    }
    const auto defs = m_gate.Definitions(model);
    std::vector<JournalChange> changes;
    for (int k = 0; k < count; ++k) {
        const auto a = static_cast<uint16_t>(address + k);
        const int slot = StoreIndex(a);
        std::optional<uint16_t> old;
        if (known && slot >= 0) old = (*known)[slot];
        if (onlyChanges && old && *old == words[k]) continue;
        JournalChange c;
        c.reg = a;
        c.newValue = Shown(defs, a, words[k], &c.name);
        if (old) c.oldValue = Shown(defs, a, *old, &c.name);
        // A command register is named by the command it runs.
        if (c.name.empty() && m_origin == ChangeOrigin::Command) c.name = m_what;
        changes.push_back(std::move(c));
        pending->regs.push_back(a);
        pending->words.push_back(words[k]);
    }
    if (changes.empty() || !m_journal) return true;
    std::string why;
    if (!EnsureAction(&why) || !m_journal->Record(m_action, changes, &why)) {
        m_error = why;
        m_journalFailed = true;
        if (m_noBackup) return true;  // the user chose to go on without
        pending->regs.clear();
        pending->words.clear();
        return false;
    }
    for (const JournalChange& c : changes) pending->ids.push_back(c.id);
    return true;
}

void ChangeBatch::Confirm(const Pending& pending, bool held) {
    Confirm(pending, std::vector<bool>(pending.regs.size(), held));
}

void ChangeBatch::Confirm(const Pending& pending, const std::vector<bool>& held) {
    std::vector<int64_t> yes, no;
    {
        std::lock_guard lock(m_gate.m_mutex);
        ChangeGate::DriveState& st = m_gate.State(m_key);
        for (std::size_t i = 0; i < pending.regs.size() && i < held.size(); ++i) {
            if (i < pending.ids.size()) (held[i] ? yes : no).push_back(pending.ids[i]);
            const int slot = StoreIndex(pending.regs[i]);
            if (held[i] && st.known && slot >= 0) (*st.known)[slot] = pending.words[i];
        }
    }
    if (!m_journal) return;
    m_journal->Confirm(yes, true);
    m_journal->Confirm(no, false);
}

std::string UnfinishedWriteText(const UnfinishedWrite& write) {
    return Text(QT_TRANSLATE_NOOP("Backup", "上次写入未完成：%2 块中的 %1 块"),
                "The last write to this drive stopped after block %1 of %2",
                {std::to_string(write.blocksDone), std::to_string(write.blocksTotal)});
}

GatedWrites WriteThroughGate(DriveHandle drive, ChangeOrigin origin,
                             const std::vector<std::pair<uint16_t, uint16_t>>& writes, std::string what,
                             PrepareOptions options, std::stop_token stop, const ProgressCallback& backupProgress) {
    GatedWrites out;
    ChangeBatch changes(drive, origin, std::move(what));
    out.gate = changes.Prepare(stop, backupProgress, options);
    if (!out.gate.ok()) return out;
    for (const auto& [address, word] : writes) {
        const auto echoed = changes.Write(address, word);
        out.returned.push_back(echoed);
        if (!echoed) {
            out.failedAt = address;
            if (changes.JournalFailed()) {
                out.gate.status = GateResult::Status::JournalFailed;
                out.gate.message = changes.Error();
            }
            out.fault = changes.drive().fault();
            break;
        }
    }
    return out;
}

std::optional<int16_t> ChangeBatch::Write(uint16_t address, uint16_t word) {
    Pending pending;
    if (!Journal(address, &word, 1, &pending)) {
        return std::nullopt;
    }
    const auto echoed = m_drive.Write(address, word);
    if (echoed)
        Confirm(pending, true);
    else if (echoed.fault.kind == DriveFaultKind::Refused)
        Confirm(pending, false);
    return echoed;
}

}  // namespace hx

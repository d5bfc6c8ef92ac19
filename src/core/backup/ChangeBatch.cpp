// One change through the gate: the backup before it, each word on record
// before it goes out and confirmed after, and a whole-set write's blocks
// and read-back, so that a write cut short is told at the next connect.
#include <ctime>
#include <filesystem>

#include "core/Globals.h"
#include "core/backup/BackupStore.h"
#include "core/backup/ChangeGate.h"
#include "core/backup/ChangeJournal.h"
#include "core/backup/GateState.h"
#include "core/i18n/Translate.h"
#include "core/link/DriveIdentity.h"
#include "core/link/CQXCOM.h"
#include "core/params/CParameter.h"
#include "core/params/ParameterFile.h"
#include "core/params/ReadAllJob.h"
#include "core/protocol/Registers.h"
#include "core/util/Text.h"

namespace fs = std::filesystem;

namespace hx {
namespace {

std::string Text(const char* chinese, const char* english, std::initializer_list<std::string> arguments) {
    return GateText(chinese, english, arguments);
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

ChangeBatch::ChangeBatch(ChangeGate& gate, DriveHandle drive, ChangeOrigin origin, std::string what)
    : m_gate(gate),
      m_drive(drive),
      m_key(ChangeGate::KeyOf(drive)),
      m_origin(origin),
      m_what(std::move(what)) {}

ChangeBatch::~ChangeBatch() {
    if (m_blocksOpen) EndBlocks(false);
    if (m_readBackOpen) ReadBackDone(false);
}

GateResult ChangeBatch::Prepare(std::stop_token stop, const ProgressCallback& readProgress, PrepareOptions options) {
    GateResult result;
    m_prepared = true;
    m_noJournal = options.withoutJournal;
    const auto journalOrFail = [&]() {
        std::string why;
        m_journal = m_noJournal ? nullptr : m_gate.Journal(&why);
        if (!m_journal && !m_noJournal && !m_journalOptional) {
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
            // The user's answer covers the journal too: the question said
            // that nothing from before could be put back.
            m_journalOptional = st.allowOnce;
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
    const bool connectedLink = m_drive.comm() == &theComm || m_drive.comm() == IdentityLink();
    if (!info && connectedLink && m_drive.station() == g_station && !g_productModel.empty())
        info = DriveInfo::LastConnected();
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
        m_gate.NoteCompleteRead(m_drive, table);
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
    if (m_journal) m_journal->HoldCheckpoints();
    std::string why;
    if (!EnsureAction(&why)) m_error = why;
    if (m_journal && m_action) m_journal->SetMarker(m_drive.comm()->PortName(), m_drive.station(), m_action);
}

void ChangeBatch::BlockDone(int done) {
    if (m_journal && m_action) m_journal->SetProgress(m_action, done);
}

void ChangeBatch::EndBlocks(bool completed) {
    m_blocksOpen = false;
    // Written whole, but not yet read back: open until the read-back ends.
    if (completed && m_readBackFollows) {
        m_readBackOpen = true;
        return;
    }
    FinishAction(completed);
}

void ChangeBatch::ReadBackDone(bool verified) {
    if (!m_readBackOpen) return;
    m_readBackOpen = false;
    FinishAction(verified);
}

void ChangeBatch::FinishAction(bool completed) {
    if (!m_journal) return;
    if (m_action) {
        m_journal->Finish(m_action, completed);
        if (completed) m_journal->ClearMarker(m_drive.comm()->PortName(), m_drive.station());
    }
    m_journal->ResumeCheckpoints();
}

bool ChangeBatch::Rows(const Run& run, std::vector<JournalChange>* changes, Pending* pending) {
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
    for (std::size_t k = 0; k < run.words.size(); ++k) {
        const auto a = static_cast<uint16_t>(run.address + k);
        const int slot = StoreIndex(a);
        std::optional<uint16_t> old;
        if (known && slot >= 0) old = (*known)[slot];
        // A setting written with the value the drive holds changes nothing:
        // on record it would only hide the changes among repetitions. A
        // command does what it does whatever its register held.
        if (old && *old == run.words[k] && IsSettingRegister(a) && m_origin != ChangeOrigin::Command) continue;
        JournalChange c;
        c.reg = a;
        c.newValue = Shown(defs, a, run.words[k], &c.name);
        if (old) c.oldValue = Shown(defs, a, *old, &c.name);
        // A command register is named by the command it runs.
        if (c.name.empty() && m_origin == ChangeOrigin::Command) c.name = m_what;
        changes->push_back(std::move(c));
        pending->regs.push_back(a);
        pending->words.push_back(run.words[k]);
    }
    return true;
}

bool ChangeBatch::Journal(uint16_t address, const uint16_t* words, int count, Pending* pending) {
    std::vector<Pending> one;
    const bool ok = Journal({Run{address, std::vector<uint16_t>(words, words + count)}}, &one);
    *pending = one.empty() ? Pending{} : std::move(one.front());
    return ok;
}

bool ChangeBatch::Journal(const std::vector<Run>& runs, std::vector<Pending>* pending) {
    pending->assign(runs.size(), Pending{});
    std::vector<JournalChange> changes;
    std::vector<std::size_t> firstRow(runs.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        firstRow[r] = changes.size();
        if (!Rows(runs[r], &changes, &(*pending)[r])) {
            pending->assign(runs.size(), Pending{});
            return false;
        }
    }
    if (changes.empty() || !m_journal) return true;
    std::string why;
    if (!EnsureAction(&why) || !m_journal->Record(m_action, changes, &why)) {
        m_error = why;
        m_journalFailed = true;
        if (m_journalOptional) return true;  // the user chose to go on without
        pending->assign(runs.size(), Pending{});
        return false;
    }
    for (std::size_t r = 0; r < runs.size(); ++r)
        for (std::size_t i = 0; i < (*pending)[r].regs.size(); ++i)
            (*pending)[r].ids.push_back(changes[firstRow[r] + i].id);
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
    if (write.NotVerified())
        return Text(QT_TRANSLATE_NOOP("Backup", "上次写入已写出、未核对：%1 块都已发出，但没有读回核对"),
                    "The last write to this drive was written, not verified: all %1 blocks went out, but they "
                    "were not read back",
                    {std::to_string(write.blocksTotal)});
    return Text(QT_TRANSLATE_NOOP("Backup", "上次写入未完成：%2 块中的 %1 块"),
                "The last write to this drive stopped after block %1 of %2",
                {std::to_string(write.blocksDone), std::to_string(write.blocksTotal)});
}

GatedWrites WriteThroughGate(ChangeGate& gate, DriveHandle drive, ChangeOrigin origin,
                             const std::vector<std::pair<uint16_t, uint16_t>>& writes, std::string what,
                             PrepareOptions options, std::stop_token stop, const ProgressCallback& backupProgress) {
    GatedWrites out;
    ChangeBatch changes(gate, drive, origin, std::move(what));
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

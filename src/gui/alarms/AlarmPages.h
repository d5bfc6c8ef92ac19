#pragma once
// The three pages of the alarm window: the current alarm polled twice a
// second, the alarm history read on request, and the fault-detection
// switches. Every drive request runs on the page's worker (core); the pages
// only turn results into rows, texts and boxes, and drop any result that
// belongs to work they have since stopped.

#include <QWidget>
#include <memory>

#include "core/alarms/AlarmReads.h"
#include "core/alarms/AlarmSequences.h"
#include "core/writes/DetectionMaskWrite.h"
#include "core/alarms/AlarmWorker.h"
#include "core/db/CADO.h"

class QCheckBox;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace hx::gui {

// Whether the English database texts are shown.
bool AlarmTextsInEnglish();

class CCurrentAlarm : public QWidget {
    Q_OBJECT
public:
    explicit CCurrentAlarm(const hx::DriveHandle& drive, QWidget* parent = nullptr);
    ~CCurrentAlarm() override;

    void startPolling();
    void stopPolling();
    bool polling() const { return m_polling; }
    // Stops every request of the page and waits for the last one to end.
    void shutDown();

    QTableWidget* list() const { return m_list; }
    QPlainTextEdit* causesText() const { return m_causes; }
    QPushButton* clearButton() const { return m_clear; }
    int lastCode() const { return m_lastCode; }
    bool clearing() const { return m_clearing; }

    void showCausesOfSelectedRow();
    void clearCurrentFault();

signals:
    // After each reading shown (tests wait on it).
    void readingShown();
    void clearFinished(bool answered);

private:
    // The drive of the connection the window was opened for.
    const hx::DriveHandle m_drive;
    void onReading(uint64_t generation, const hx::CurrentAlarmReading& reading);
    void onClearFinished(uint64_t generation, const hx::ClearResult& result);
    void showSingleRow(const QString& first, const QString& second);

    QTableWidget* m_list;
    QPlainTextEdit* m_causes;
    QPushButton* m_clear;
    CADO m_db;
    hx::AlarmWorker m_worker;
    uint64_t m_generation = 0;
    bool m_polling = false;
    bool m_clearing = false;
    bool m_lookupFailing = false;
    int m_lastCode = 0;
};

class CHistoryAlarm : public QWidget {
    Q_OBJECT
public:
    explicit CHistoryAlarm(const hx::DriveHandle& drive, QWidget* parent = nullptr);
    ~CHistoryAlarm() override;

    void readHistory();
    void stopReading();
    bool reading() const { return m_reading; }
    void clearHistory();
    bool clearing() const { return m_clearing; }
    void shutDown();

    QTableWidget* list() const { return m_list; }
    QPlainTextEdit* causesText() const { return m_causes; }
    QPushButton* readButton() const { return m_read; }
    QPushButton* clearButton() const { return m_clear; }

    void showCausesOfSelectedRow();

signals:
    void entryShown();
    void readFinished();
    void clearFinished(bool cleared);

private:
    const hx::DriveHandle m_drive;
    void onEntry(uint64_t generation, const hx::AlarmHistoryEntry& entry);
    void onReadFinished(uint64_t generation, const hx::AlarmHistoryResult& result);
    void onClearFinished(uint64_t generation, const hx::ClearResult& result);
    void showRows();

    QTableWidget* m_list;
    QPlainTextEdit* m_causes;
    QPushButton* m_read;
    QPushButton* m_clear;
    CADO m_db;
    hx::AlarmHistoryList m_rows;
    hx::AlarmWorker m_worker;
    uint64_t m_generation = 0;
    bool m_reading = false;
    bool m_clearing = false;
    // Cleared while the page is in view: the emptied history is read back.
    bool m_readAfterClear = false;
};

class CAlarmSettings : public QWidget {
    Q_OBJECT
public:
    // gate: the mask is a setting, written through the program's change gate.
    CAlarmSettings(const hx::DriveHandle& drive, hx::ChangeGate& gate, QWidget* parent = nullptr);
    ~CAlarmSettings() override;

    // quiet: a failed read leaves the boxes without telling (the read when
    // the window opens, before the page is seen).
    void readMask(bool quiet = false);
    void writeMask();
    bool busy() const { return m_busy; }
    void shutDown();

    QCheckBox* box(int bit) const { return m_boxes[bit]; }
    QPushButton* okButton() const { return m_ok; }
    uint16_t maskFromBoxes() const;

signals:
    void maskRead(bool answered);
    void maskWritten(bool taken);

private:
    const hx::DriveHandle m_drive;
    void setBusy(bool busy);
    void showWritten(uint16_t mask, const hx::MaskWriteResult& result);

    hx::ChangeGate& m_gate;
    QGroupBox* m_group;
    QCheckBox* m_boxes[16];
    QPushButton* m_ok;
    hx::AlarmWorker m_worker;
    uint64_t m_generation = 0;
    bool m_busy = false;
};

}  // namespace hx::gui

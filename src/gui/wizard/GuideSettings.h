#pragma once
// The setup wizard: four pages shown one step at a time, each reading its
// settings from the drive every time it is shown (the page shows what the
// drive holds), and at the end a summary of the registers about to change,
// the writes in their fixed order and the store. The wizard stays at its
// last step afterwards, whatever the answer. All drive traffic runs on the
// wizard's worker; the window only shows.

#include <QString>
#include <map>

#include "core/wizard/WizardApply.h"
#include "core/wizard/WizardForm.h"
#include "gui/widgets/FunctionWindow.h"

class QLabel;
class QPushButton;

namespace hx::gui {

class CGuideComParameter;
class CGuideCurrent;
class CGuideSubdevision;
class CGuideIOSetting;

class CGuideSettings : public FunctionWindow {
    Q_OBJECT
public:
    // gate: the program's change gate (the wizard's writes go through it).
    // drive: the connection's drive, which the wizard reads and sets up.
    CGuideSettings(const hx::DriveHandle& drive, hx::ChangeGate& gate, QWidget* parent = nullptr);
    ~CGuideSettings() override;

    QSize sizeHint() const override { return {500, 540}; }
    int step() const { return m_step; }
    bool busy() const { return m_job.running() || m_waiting; }
    uint16_t variant() const { return m_variant; }

    QPushButton* previousButton() const { return m_previous; }
    QPushButton* nextButton() const { return m_next; }
    QPushButton* cancelButton() const { return m_cancel; }
    // "第 2 步，共 4 步"
    QLabel* stepLabel() const { return m_stepLabel; }
    CGuideComParameter* aliasPage() const { return m_alias; }
    CGuideCurrent* currentPage() const { return m_current; }
    CGuideSubdevision* pulsesPage() const { return m_pulses; }
    CGuideIOSetting* ioPage() const { return m_io; }
    QLabel* statusLabel() const { return m_status; }

    // The summary of a plan: one line per register, with the value read when
    // its page was shown and the value to be written; the registers whose
    // value changes, and those that keep theirs, in write order.
    struct Summary {
        QStringList changed, unchanged;
        QString footer;
    };
    Summary summary(const hx::wizard::WritePlan& plan) const;
    // The caption of a setting in the current language.
    static QString settingCaption(const hx::wizard::Setting& setting);

signals:
    void pageLoaded();
    void applyFinished(bool completed);

protected:
    bool canClose() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void goTo(int step);
    void showStep();
    void finish();
    void collectAll();
    void startLoad(hx::wizard::LoadStep step);
    void onLoaded(const hx::wizard::LoadResult& result);
    void onApplyProgress(int done, int total);
    void onApplied(const hx::wizard::ApplyResult& result);
    void setBusy(bool busy);
    void updateButtons();

    CGuideComParameter* m_alias;
    CGuideCurrent* m_current;
    CGuideSubdevision* m_pulses;
    CGuideIOSetting* m_io;
    QWidget* m_pages[4];
    QPushButton* m_previous;
    QPushButton* m_next;
    QPushButton* m_cancel;
    QLabel* m_stepLabel;
    QLabel* m_status;

    int m_step = 0;
    uint16_t m_variant;
    const hx::DriveHandle m_drive;
    hx::wizard::WizardForm m_form;
    std::map<uint16_t, int16_t> m_read;  // every register as last read
    hx::ChangeGate& m_gate;
    hx::wizard::WizardJob m_job;
    bool m_applying = false;
    bool m_waiting = false;  // a result is on its way to the window
};

}  // namespace hx::gui

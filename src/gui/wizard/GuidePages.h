#pragma once
// The four pages of the setup wizard and the two halves of its I/O page.
// A page only shows a form's fields and hands back what the user set; the
// wizard frame reads and writes the drive on its worker.

#include <QWidget>

#include "core/wizard/WizardFunctions.h"
#include "core/wizard/WizardForm.h"
#include "gui/wizard/GuidePictures.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace hx::gui {

// The page's header picture, drawn at the header's size.
class GuideHeader : public QWidget {
public:
    explicit GuideHeader(GuidePicture picture, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {300, 72}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    GuidePicture m_picture;
};

// Station alias: the switch on the front panel or the object dictionary.
class CGuideComParameter : public QWidget {
    Q_OBJECT
public:
    explicit CGuideComParameter(QWidget* parent = nullptr);
    void showForm(const hx::wizard::WizardForm& form);
    void collect(hx::wizard::WizardForm& form) const;

    QRadioButton* switchButton() const { return m_switch; }
    QRadioButton* dictionaryButton() const { return m_dictionary; }
    QLineEdit* aliasEdit() const { return m_alias; }

signals:
    // The user chose a source; the frame reads the alias it names.
    void sourceChosen(hx::wizard::LoadStep action);

private:
    QRadioButton* m_switch;
    QRadioButton* m_dictionary;
    QLineEdit* m_alias;
};

class CGuideCurrent : public QWidget {
    Q_OBJECT
public:
    explicit CGuideCurrent(QWidget* parent = nullptr);
    void showForm(const hx::wizard::WizardForm& form);
    void collect(hx::wizard::WizardForm& form) const;

    QLineEdit* peakEdit() const { return m_peak; }
    QLineEdit* standbyPercentEdit() const { return m_percent; }
    QLineEdit* standbyTimeEdit() const { return m_time; }

private:
    QLineEdit* m_peak;
    QLineEdit* m_percent;
    QLineEdit* m_time;
};

class CGuideSubdevision : public QWidget {
    Q_OBJECT
public:
    explicit CGuideSubdevision(QWidget* parent = nullptr);
    void showForm(const hx::wizard::WizardForm& form);
    void collect(hx::wizard::WizardForm& form) const;

    QLineEdit* pulsesEdit() const { return m_pulses; }
    QCheckBox* invertBox() const { return m_invert; }

private:
    QLineEdit* m_pulses;
    QCheckBox* m_invert;
};

// One pin's row widgets; hidden together for pins the drive lacks.
struct GuidePinRow {
    QLabel* pin = nullptr;
    QComboBox* function = nullptr;
    QLineEdit* filter = nullptr;  // inputs only
    QLabel* unit = nullptr;       // inputs only
    QCheckBox* invert = nullptr;
};

class CGuideInput : public QWidget {
    Q_OBJECT
public:
    explicit CGuideInput(QWidget* parent = nullptr);
    void showForm(const hx::wizard::WizardForm& form, uint16_t variant);
    void collect(hx::wizard::WizardForm& form) const;
    const GuidePinRow& row(int k) const { return m_rows[k]; }

private:
    std::vector<hx::wizard::FunctionEntry> m_entries;
    GuidePinRow m_rows[hx::wizard::kPins];
};

class CGuideOutput : public QWidget {
    Q_OBJECT
public:
    explicit CGuideOutput(QWidget* parent = nullptr);
    void showForm(const hx::wizard::WizardForm& form, uint16_t variant);
    void collect(hx::wizard::WizardForm& form) const;
    const GuidePinRow& row(int k) const { return m_rows[k]; }

private:
    std::vector<hx::wizard::FunctionEntry> m_entries;
    GuidePinRow m_rows[hx::wizard::kPins];
};

// Inputs and outputs, one at a time under two buttons.
class CGuideIOSetting : public QWidget {
    Q_OBJECT
public:
    explicit CGuideIOSetting(QWidget* parent = nullptr);
    CGuideInput* inputPage() const { return m_input; }
    CGuideOutput* outputPage() const { return m_output; }
    QPushButton* inputButton() const { return m_inputButton; }
    QPushButton* outputButton() const { return m_outputButton; }

    void showForm(const hx::wizard::WizardForm& form, uint16_t variant);
    void collect(hx::wizard::WizardForm& form) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    GuideHeader* m_header;
    QPushButton* m_inputButton;
    QPushButton* m_outputButton;
    CGuideInput* m_input;
    CGuideOutput* m_output;
};

}  // namespace hx::gui

#pragma once
// A function window hosted by the view. Windows that hold the drive link
// (connection, alarms, waveform, spectrum, run test) record their title in
// g_activeModule while open, so that the view opens no second one.

#include <QWidget>

namespace hx::gui {

class FunctionWindow : public QWidget {
    Q_OBJECT
public:
    enum class LinkUse { HoldsLink, Free };
    FunctionWindow(const QString& title, LinkUse use, QWidget* parent = nullptr);
    ~FunctionWindow() override;

    bool holdsLink() const { return m_use == LinkUse::HoldsLink; }
    // Closes the window together with the frame the view gave it.
    void closeWindow();
    // Whether it has closed (a window busy with the drive may refuse).
    bool isClosed() const { return m_closed; }

signals:
    // The window has closed; the view destroys it a moment later.
    void moduleClosed(QWidget* window);

protected:
    // A window busy with the drive may refuse to close.
    virtual bool canClose() { return true; }
    void closeEvent(QCloseEvent* event) override;

private:
    LinkUse m_use;
    bool m_closed = false;
};

}  // namespace hx::gui

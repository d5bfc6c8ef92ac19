#pragma once
// The parameter windows against the simulated drive over a pseudo-terminal:
// the link open at the drive's station, the drive's identity in the shared
// state, its attribute bits in the table, boxes recorded and answered.

#include <QPlainTextEdit>
#include <QTimer>

#include "GuiTestUtil.h"
#include "core/params/AttributeBlocks.h"
#include "core/params/CParameter.h"
#include "gui/widgets/GuiState.h"
#include "gui/params/ParameterFileDialog.h"
#include "gui/params/ParameterManage.h"
#include "gui/params/ParameterRemark.h"
#include "sim/DriveServer.h"

namespace hx::test {

inline hx::sim::DriveOptions DriveAt(int16_t firmware = 200) { return {.station = 5, .firmwareRegister = firmware}; }

struct ParameterWindowFixture : DriveOnLink {
    explicit ParameterWindowFixture(hx::sim::DriveOptions options = DriveAt()) : DriveOnLink(options, 200) {
        theParameterTable = CParameter();
        g_firmwareVersion = static_cast<float>(options.firmwareRegister);
        g_driveModel = options.driveModel;
        g_productModel = options.productModel;
        g_driveSoftVersion = "1.5";
        g_accessLevel = AccessLevel::Ordinary;
        g_language = 4;  // the built-in Chinese texts throughout
        hx::ReadAttributeBlocks(hx::DriveHandle::FromGlobals(), theParameterTable);
        drive->Drive().ClearRequests();
    }
    ~ParameterWindowFixture() {
        window.reset();
        hx::gui::SetFileDialogHook({});
        g_accessLevel = AccessLevel::Ordinary;
        g_paramManagerWnd = nullptr;
    }

    // Opens the manager and waits for its first read.
    hx::gui::CParameterManage* open() {
        window = std::make_unique<hx::gui::CParameterManage>(ProgramDrive(), gate);
        window->resize(1100, 640);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        EXPECT_TRUE(WaitUntil([&] { return !window->busy(); }, 8000)) << "the opening read ends";
        return window.get();
    }
    bool waitIdle(int timeoutMs = 8000) {
        return WaitUntil([&] { return !window->busy(); }, timeoutMs);
    }

    hx::ChangeGate gate;
    std::unique_ptr<hx::gui::CParameterManage> window;
};

// Answers the next memo dialog: types the text and presses "确  定" (or
// "取  消" when ok is false).
inline void AnswerMemo(const QString& text, bool ok = true) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, text, ok] {
        auto* memo = qobject_cast<hx::gui::CParameterRemark*>(QApplication::activeModalWidget());
        if (!memo) return;
        poll->stop();
        poll->deleteLater();
        memo->editor()->setPlainText(text);
        QTest::mouseClick(ok ? memo->okButton() : memo->cancelButton(), Qt::LeftButton);
    });
    poll->start();
}

}  // namespace hx::test

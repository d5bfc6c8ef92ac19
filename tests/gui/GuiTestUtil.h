#pragma once
// Helpers of the window tests: recorded message boxes and waiting on the
// event loop while worker threads finish.

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include "core/Globals.h"
#include "core/i18n/StringTable.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveHandle.h"
#include "gui/widgets/Messages.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/TestSupport.h"

namespace hx::test {

// Records every box; questions are answered from a queue (Yes when empty).
class MessageRecorder {
public:
    MessageRecorder() {
        hx::gui::SetMessageHandler([this](const hx::gui::MessageRecord& r) {
            records.push_back(r);
            if (!r.question) return true;
            if (answers.empty()) return true;
            bool a = answers.front();
            answers.pop_front();
            return a;
        });
    }
    ~MessageRecorder() { hx::gui::SetMessageHandler({}); }

    bool saw(const QString& text) const {
        for (const auto& r : records)
            if (r.text == text) return true;
        return false;
    }
    QString lastText() const { return records.empty() ? QString() : records.back().text; }
    QString lastCaption() const { return records.empty() ? QString() : records.back().caption; }
    void clear() { records.clear(); }

    std::vector<hx::gui::MessageRecord> records;
    std::deque<bool> answers;
};

// Pumps events until cond() holds or the time is up; returns cond().
inline bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > timeoutMs) return cond();
        QTest::qWait(5);
    }
    return true;
}

// Clicks the button and waits for the sender's signal: true when it came
// and carried true (or nothing). A signal that never came is a failure.
template <class Sender, class Signal>
bool ClickAndWait(QAbstractButton* button, Sender* sender, Signal signal, int timeoutMs = 10000) {
    QSignalSpy spy(sender, signal);
    QTest::mouseClick(button, Qt::LeftButton);
    const bool came = WaitUntil([&] { return !spy.isEmpty(); }, timeoutMs);
    EXPECT_TRUE(came) << "no end to the work of " << button->text().toStdString();
    return came && (spy.front().isEmpty() || spy.front().front().toBool());
}

// The area's window showing a T, or none.
template <class T>
T* FindSubWindow(QMdiArea* area) {
    for (QMdiSubWindow* sub : area->subWindowList())
        if (auto* w = qobject_cast<T*>(sub->widget())) return w;
    return nullptr;
}

// The main frame's connection window opens by itself half a second after
// the frame: waits for it and closes it.
inline bool CloseTheOpeningConnectionWindow(QMdiArea* area) {
    if (!WaitUntil([&] { return area->subWindowList().size() == 1; }, 3000)) return false;
    area->subWindowList().front()->close();
    return WaitUntil([] { return g_activeModule.empty(); }, 2000);
}

// Opens the widget's context menu at pos, as a right click does.
inline QMenu* OpenContextMenu(QWidget* target, const QPoint& pos) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
    QApplication::sendEvent(target, &event);
    QMenu* menu = nullptr;
    WaitUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; }, 2000);
    return menu;
}

// The texts of the menu's items, separators left out.
inline QStringList MenuTexts(const QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) out << a->text();
    return out;
}

// Chooses the item of that text and closes the menu; false when there is none.
inline bool ChooseMenuItem(QMenu* menu, const QString& text) {
    if (!menu) return false;
    QAction* chosen = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == text) chosen = a;
    if (chosen) chosen->trigger();
    menu->close();
    return chosen != nullptr;
}

// The centre of a cell of a table, scrolled into view; a click on it; two
// clicks and the text typed into the list's editor, as a user edits.
template <class Table>
QPoint CellCenter(Table* table, int row, int column) {
    table->scrollToItem(table->item(row, column));
    return table->visualRect(table->model()->index(row, column)).center();
}
template <class Table>
void ClickCell(Table* table, int row, int column) {
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, CellCenter(table, row, column));
}
template <class List>
void TypeInCell(List* list, int row, int column, const QString& text) {
    ClickCell(list, row, column);
    ClickCell(list, row, column);
    ASSERT_TRUE(list->editing());
    list->editor()->selectAll();
    QTest::keyClicks(list->editor(), text);
}

// The program's link opened on a simulated drive's device, online, as the
// connection window leaves it.
// lateHorizonMs: how long a reply may come after its time-out (the
// simulated drive never answers late).
inline void OpenProgramLink(const std::string& device, uint16_t receiveTimeOutMs, uint32_t lateHorizonMs = 150) {
    theComm.CloseCom();
    theComm.ConfigCom(device, "38400", "8", "NONE", "2");
    theComm.SetLateHorizon(lateHorizonMs);
    theComm.OpenCom();
    theComm.SetCurrentUseMode(1);
    theComm.SetReceiveTimeOut(receiveTimeOutMs);
}

// The drive the program's link and globals stand for now: what the main
// frame hands a window it opens.
inline hx::DriveHandle ProgramDrive() { return hx::DriveHandle(&theComm, g_station, g_firmwareVersion); }

// The simulated drive over a pseudo-terminal with the program's link open on
// it at the drive's station, in a private program folder, boxes recorded.
// The language and the one-window rule are left as they were found.
struct DriveOnLink {
    explicit DriveOnLink(hx::sim::DriveOptions options, uint16_t receiveTimeOutMs = 250, uint32_t lateHorizonMs = 150)
        : drive(std::make_unique<hx::sim::InProcessDrive>(options)) {
        OpenProgramLink(drive->DevicePath(), receiveTimeOutMs, lateHorizonMs);
        g_station = options.station;
        g_activeModule.clear();
    }
    ~DriveOnLink() {
        theComm.CloseCom();
        g_activeModule.clear();
        g_language = m_language;
    }
    hx::sim::VirtualDrive& sim() { return drive->Drive(); }

    uint16_t m_language = g_language;
    TempProgramFolder folder;
    MessageRecorder messages;
    std::unique_ptr<hx::sim::InProcessDrive> drive;
};

// The built English catalogue installed as the program does at start-up:
// Qt's texts and the core's through the same translator. Taken away again
// when it goes, so the next test starts in Chinese.
class EnglishCatalogue {
public:
    EnglishCatalogue() {
        m_loaded = m_translator.load(QString::fromStdString(BuildBinFolder() + "/i18n/halvex_en.qm"));
        if (!m_loaded) return;
        QCoreApplication::installTranslator(&m_translator);
        hx::SetTranslator([](const char* context, const char* source) {
            return QCoreApplication::translate(context, source).toStdString();
        });
    }
    ~EnglishCatalogue() {
        if (!m_loaded) return;
        QCoreApplication::removeTranslator(&m_translator);
        hx::SetTranslator(nullptr);
    }
    EnglishCatalogue(const EnglishCatalogue&) = delete;
    EnglishCatalogue& operator=(const EnglishCatalogue&) = delete;
    bool loaded() const { return m_loaded; }

private:
    QTranslator m_translator;
    bool m_loaded = false;
};

}  // namespace hx::test

#pragma once
// Helpers of the window tests: recorded message boxes and waiting on the
// event loop while worker threads finish.

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTest>
#include <QTranslator>
#include <deque>
#include <functional>
#include <vector>

#include "core/Globals.h"
#include "core/i18n/StringTable.h"
#include "core/link/CQXCOM.h"
#include "gui/widgets/Messages.h"
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

// The program's link opened on a simulated drive's device, online, as the
// connection window leaves it.
inline void OpenProgramLink(const std::string& device, uint16_t receiveTimeOutMs) {
    theComm.CloseCom();
    theComm.ConfigCom(device, "38400", "8", "NONE", "2");
    theComm.OpenCom();
    theComm.SetCurrentUseMode(1);
    theComm.SetReceiveTimeOut(receiveTimeOutMs);
}

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

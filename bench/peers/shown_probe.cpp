// Loaded into a Qt program by bench_window (LD_PRELOAD), the same way into
// the program and into its peer: once the first window has been exposed and
// painted, it writes the monotonic clock, the peak and current resident
// memory to the file $HALVEX_SHOWN_PROBE names and ends the process.
// Nothing in the program knows of it: Qt calls its start-up hook from the
// application object's constructor.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

// Qt's hook table (qhooks_p.h): entry 5 is called when the application
// object has been made.
extern Q_CORE_EXPORT quintptr qtHookData[];

namespace {

constexpr int kStartupHook = 5;

long StatusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, std::strlen(field)) == 0) kb = std::atol(line + std::strlen(field));
    std::fclose(f);
    return kb;
}

void Report() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (const char* path = std::getenv("HALVEX_SHOWN_PROBE")) {
        if (FILE* f = std::fopen(path, "w")) {
            std::fprintf(f, "%lld %ld %ld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                         StatusKb("VmHWM:"), StatusKb("VmRSS:"));
            std::fclose(f);
        }
    }
    ::_exit(0);
}

class FirstExpose : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_seen && event->type() == QEvent::Expose && watched->isWindowType() &&
            static_cast<QWindow*>(watched)->isExposed()) {
            m_seen = true;
            // The window paints in its own handling of the expose event;
            // the report follows it.
            QTimer::singleShot(0, &Report);
        }
        return false;
    }

private:
    bool m_seen = false;
};

void OnApplication() { QCoreApplication::instance()->installEventFilter(new FirstExpose); }

__attribute__((constructor)) void Install() { qtHookData[kStartupHook] = reinterpret_cast<quintptr>(&OnApplication); }

}  // namespace

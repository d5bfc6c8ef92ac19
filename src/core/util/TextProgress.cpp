#include "core/util/TextProgress.h"

#include <unistd.h>

#include <algorithm>
#include <ostream>

namespace hx {

namespace {
constexpr int kBarWidth = 30;
}

TextProgress::TextProgress(std::ostream& out, std::string label, bool terminal)
    : m_out(out), m_label(std::move(label)), m_terminal(terminal) {}

TextProgress::~TextProgress() { Finish(); }

void TextProgress::Update(int done, int total) {
    if (total <= 0) return;
    done = std::clamp(done, 0, total);
    const int percent = static_cast<int>(100LL * done / total);
    if (m_terminal) {
        const int filled = static_cast<int>(static_cast<long long>(kBarWidth) * done / total);
        m_out << '\r' << m_label << " [" << std::string(filled, '#') << std::string(kBarWidth - filled, '.') << "] "
              << percent << "% (" << done << '/' << total << ')';
        m_open = true;
        if (done == total) {
            m_out << '\n';
            m_open = false;
        }
        m_out.flush();
        return;
    }
    // One line for each tenth reached; a jump over several tenths is one line.
    const int tenth = static_cast<int>(10LL * done / total);
    if (tenth <= m_lastTenth) return;
    m_lastTenth = tenth;
    m_out << m_label << ": " << percent << "% (" << done << '/' << total << ")\n";
    m_out.flush();
}

void TextProgress::Finish() {
    if (!m_open) return;
    m_out << '\n';
    m_out.flush();
    m_open = false;
}

bool TextProgress::StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace hx

#pragma once
// Progress of a long command-line transfer on a text stream (standard error):
// a bar redrawn in place on a terminal, or one line per tenth of the work
// when the stream goes to a file or a pipe, where a redrawn bar would be a
// heap of carriage returns.

#include <iosfwd>
#include <string>

namespace hx {

class TextProgress {
public:
    // label names the work, e.g. "writing"; terminal: draw a bar.
    TextProgress(std::ostream& out, std::string label, bool terminal);
    ~TextProgress();

    // done of total steps; steps go up, total stays.
    void Update(int done, int total);
    // Ends the bar's line on a terminal when the work stopped short.
    void Finish();

    // Whether the standard error stream is a terminal.
    static bool StderrIsTerminal();

private:
    std::ostream& m_out;
    std::string m_label;
    bool m_terminal;
    int m_lastTenth = 0;
    bool m_open = false;  // a bar is on the line
};

}  // namespace hx

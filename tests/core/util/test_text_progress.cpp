// Progress of command-line transfers: a bar on a terminal, lines elsewhere.
#include <gtest/gtest.h>

#include <sstream>

#include "core/util/TextProgress.h"

TEST(TextProgress, ALinePerTenthWhenNotATerminal) {
    std::ostringstream out;
    {
        hx::TextProgress progress(out, "writing", false);
        for (int done = 1; done <= 43; ++done) progress.Update(done, 43);
    }
    EXPECT_EQ(out.str(),
              "writing: 11% (5/43)\nwriting: 20% (9/43)\nwriting: 30% (13/43)\nwriting: 41% (18/43)\n"
              "writing: 51% (22/43)\nwriting: 60% (26/43)\nwriting: 72% (31/43)\nwriting: 81% (35/43)\n"
              "writing: 90% (39/43)\nwriting: 100% (43/43)\n");

    // Few steps: one line each, never two for the same tenth.
    std::ostringstream few;
    hx::TextProgress three(few, "reading", false);
    three.Update(1, 3);
    three.Update(1, 3);
    three.Update(3, 3);
    EXPECT_EQ(few.str(), "reading: 33% (1/3)\nreading: 100% (3/3)\n");
}

TEST(TextProgress, ABarRedrawnInPlaceOnATerminal) {
    std::ostringstream out;
    {
        hx::TextProgress progress(out, "reading", true);
        progress.Update(1, 2);
        EXPECT_EQ(out.str(), "\rreading [###############...............] 50% (1/2)");
        // Stopped short (a failed block): the line is ended for the message after it.
    }
    EXPECT_EQ(out.str().back(), '\n');

    std::ostringstream done;
    hx::TextProgress whole(done, "reading", true);
    whole.Update(2, 2);
    whole.Finish();
    EXPECT_EQ(done.str(), "\rreading [##############################] 100% (2/2)\n") << "one line end only";
}

// halvex-dbgen: builds the program's database from its SQL text.
//
//   halvex-dbgen <output.sqlite> <file.sql>...
//
// The files run in the order given, in one transaction, into a temporary
// file beside the output, which then replaces the output. A failing
// statement names its file and leaves the previous output untouched.

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool ReadText(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return true;
}

bool Exec(sqlite3* db, const std::string& sql, const std::string& where) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    std::fprintf(stderr, "halvex-dbgen: %s: %s\n", where.c_str(), message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: halvex-dbgen <output.sqlite> <file.sql>...\n");
        return 2;
    }
    const fs::path output = argv[1];
    const fs::path temp = output.string() + ".tmp";
    std::error_code ec;
    fs::create_directories(output.parent_path(), ec);
    fs::remove(temp, ec);

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "halvex-dbgen: cannot create %s: %s\n", temp.c_str(), db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return 1;
    }
    bool ok = Exec(db, "PRAGMA foreign_keys = ON; BEGIN", "start");
    for (int i = 2; ok && i < argc; ++i) {
        std::string text;
        if (!ReadText(argv[i], &text)) {
            std::fprintf(stderr, "halvex-dbgen: cannot read %s\n", argv[i]);
            ok = false;
            break;
        }
        ok = Exec(db, text, argv[i]);
    }
    ok = ok && Exec(db, "COMMIT", "commit") && Exec(db, "VACUUM", "finish");
    if (sqlite3_close(db) != SQLITE_OK) ok = false;
    if (!ok) {
        fs::remove(temp, ec);
        return 1;
    }
    fs::rename(temp, output, ec);
    if (ec) {
        std::fprintf(stderr, "halvex-dbgen: cannot replace %s: %s\n", output.c_str(), ec.message().c_str());
        fs::remove(temp, ec);
        return 1;
    }
    return 0;
}

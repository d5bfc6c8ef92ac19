// Figures for parameter files and the comparison: saving and loading a full
// file, and comparing two full sets against the largest model's definition
// table. Prints the median of repeated runs in milliseconds.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/Globals.h"
#include "core/db/CADO.h"
#include "core/params/CParameter.h"
#include "core/params/ParameterComparison.h"
#include "core/params/ParameterFile.h"

namespace fs = std::filesystem;

namespace {

double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void Fill(CParameter& t, int seed) {
    for (int i = 0; i < CParameter::kSlots; ++i)
        t.SetValue(CParameter::IndexToAddress(static_cast<uint16_t>(i)), (i * 7919 + seed) % 65536 - 32768);
}

// The model whose definition table has the most rows.
std::string LargestModel(CADO& db, long* rows) {
    std::vector<std::string> tables;
    db.GetRecordSet("Select name from sqlite_master Where type='table' and name like 'ParametersTable_%'");
    for (; !db.IsEOF(); db.MoveNext()) tables.push_back(db.GetFieldText("name"));
    std::string best;
    *rows = -1;
    for (const auto& table : tables) {
        db.GetRecordSet("Select count(*) as n from " + SqlTableName(table));
        long n = std::atol(db.GetFieldText("n").c_str());
        if (n > *rows) {
            *rows = n;
            best = table.substr(std::string("ParametersTable_").size());
        }
    }
    db.CloseRecordset();
    return best;
}

}  // namespace

int main() {
    const fs::path folder = fs::temp_directory_path() / ("halvex-bench-files-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string path = (folder / "bench.qxr").string();

    CParameter table;
    table.RegisterType(5, "USHORT");
    table.RegisterType(31, "INT");
    Fill(table, 1);
    const hx::ParameterFileHeader header{"HX-KRV7-1500", "1.5", "基准测试 benchmark"};
    std::string error;

    double saveMs = MedianMs(30, [&] {
        if (!hx::SaveParameterFile(path, table, header, &error)) std::fprintf(stderr, "%s\n", error.c_str());
    });
    double formatMs = MedianMs(30, [&] { (void)hx::FormatParameterFile(table, header); });
    double loadMs = MedianMs(30, [&] {
        if (!hx::LoadParameterFile(path, table, nullptr, &error)) std::fprintf(stderr, "%s\n", error.c_str());
    });

    std::printf("save of a full parameter file (2153 lines, with fsync): %.3f ms\n", saveMs);
    std::printf("  of which formatting the bytes:                       %.3f ms\n", formatMs);
    std::printf("load of a full parameter file (read, parse, apply):    %.3f ms\n", loadMs);

    CADO db;
    const std::string database = std::string(HALVEX_BIN_DIR) + "/DATA.sqlite";
    if (!db.OpenConnection(database)) {
        std::fprintf(stderr, "cannot open %s: %s\n", database.c_str(), db.LastError().c_str());
        fs::remove_all(folder);
        return 1;
    }
    try {
        long rows = 0;
        const std::string model = LargestModel(db, &rows);
        hx::ParameterSet one = hx::SnapshotTable(table);
        hx::ParameterSet two;
        if (!hx::LoadCompareSet(path, &two, &error)) std::fprintf(stderr, "%s\n", error.c_str());
        for (auto& v : two.values) v += 1;  // every parameter differs
        std::size_t listed = 0;
        double compareMs = MedianMs(30, [&] {
            listed = hx::CompareSets(db, one, two, model, 200.0f, AccessLevel::Administrator, table).rows.size();
        });
        std::printf("comparison of two full sets, model %s (%ld definitions, %zu rows listed): %.3f ms\n",
                    model.c_str(), rows, listed, compareMs);
    } catch (const DbError& e) {
        std::fprintf(stderr, "database error: %s\n", e.Description());
    }
    fs::remove_all(folder);
    return 0;
}

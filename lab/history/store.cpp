// The store in SQLite: one file, made on first use, written by several processes at once (its
// write-ahead log; a writer waits its turn), its schema versioned in SQLite's user_version and
// migrated one version at a time.

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>

#include "history/history.h"
#include "history/stores.h"

namespace lab {

namespace {

// The migrations: the one at index v takes a store from version v to v + 1. A store is never
// migrated down: a newer one is refused.
const char* const kMigrations[] = {
    // 0 -> 1: runs, their context, their user's entries and their cells.
    R"(CREATE TABLE runs(
         id INTEGER PRIMARY KEY, recorded TEXT NOT NULL, date TEXT, machine TEXT NOT NULL, lab_version TEXT,
         commit_hash TEXT NOT NULL, branch TEXT, label TEXT, counts_model TEXT, source TEXT);
       CREATE TABLE contexts(run_id INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE, position INTEGER NOT NULL,
         name TEXT NOT NULL, value TEXT NOT NULL);
       CREATE TABLE entries(run_id INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE, name TEXT NOT NULL,
         kind TEXT, path TEXT, file_hash TEXT, commit_hash TEXT, branch TEXT, repository TEXT);
       CREATE TABLE cells(run_id INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE, shape TEXT NOT NULL,
         n INTEGER NOT NULL, algorithm TEXT NOT NULL, h INTEGER, status TEXT, note TEXT, median_s REAL, lo_s REAL,
         hi_s REAL, runs_s TEXT, counted INTEGER NOT NULL, instructions REAL, l1_misses REAL, ll_misses REAL,
         branch_misses REAL, est_cycles REAL, verdict TEXT, count_verdict TEXT);
       CREATE INDEX cells_of_run ON cells(run_id);
       CREATE INDEX cells_by_cell ON cells(algorithm, shape, n);)",
};

std::string utcNow() {
    char text[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    return text;
}

class SqliteStore : public Store {
public:
    SqliteStore(const std::string& path, double waitSeconds) : path_(path) {
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (!folder.empty()) std::filesystem::create_directories(folder, error);
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            const std::string why = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            db_ = nullptr;
            throw StoreError("cannot open the history " + path + ": " + why);
        }
        sqlite3_busy_timeout(db_, int(waitSeconds * 1000));
        try {
            run("PRAGMA foreign_keys = ON");
            migrate();
        } catch (...) {  // no destructor runs for an object not made
            sqlite3_close(db_);
            throw;
        }
    }
    ~SqliteStore() override { sqlite3_close(db_); }

    int version() override {
        sqlite3_stmt* query = prepare("PRAGMA user_version");
        const int v = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int(query, 0) : 0;
        sqlite3_finalize(query);
        return v;
    }

    std::int64_t add(const StoredRun& r) override {
        run("BEGIN IMMEDIATE");
        try {
            bind(prepare("INSERT INTO runs(recorded, date, machine, lab_version, commit_hash, branch, label, counts_model, "
                         "source) VALUES(?,?,?,?,?,?,?,?,?)"),
                 {r.recorded.empty() ? utcNow() : r.recorded, r.date, r.machine, r.labVersion, r.commit, r.branch, r.label,
                  r.countsModel, r.source});
            const std::int64_t id = sqlite3_last_insert_rowid(db_);
            const std::string runId = std::to_string(id);
            for (std::size_t i = 0; i < r.context.size(); ++i) {
                bind(prepare("INSERT INTO contexts VALUES(?,?,?,?)"),
                     {runId, std::to_string(i), r.context[i].first, r.context[i].second});
            }
            for (const StoredEntry& e : r.entries) {
                bind(prepare("INSERT INTO entries VALUES(?,?,?,?,?,?,?,?)"),
                     {runId, e.name, e.kind, e.path, e.fileHash, e.commit, e.branch, e.repository});
            }
            sqlite3_stmt* cell = prepare("INSERT INTO cells VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
            try {
                for (const StoredCell& c : r.cells) {
                    sqlite3_bind_int64(cell, 1, id);
                    bindText(cell, 2, c.shape);
                    sqlite3_bind_int64(cell, 3, c.n);
                    bindText(cell, 4, c.algorithm);
                    sqlite3_bind_int64(cell, 5, c.h);
                    bindText(cell, 6, c.status);
                    bindText(cell, 7, c.note);
                    bindFigure(cell, 8, c.median), bindFigure(cell, 9, c.lo), bindFigure(cell, 10, c.hi);
                    bindText(cell, 11, joinedFigures(c.runs));
                    sqlite3_bind_int(cell, 12, c.counted);
                    const double counts[] = {c.instructions, c.l1Misses, c.llMisses, c.branchMisses, c.estCycles};
                    for (int k = 0; k < 5; ++k) {
                        if (c.counted) sqlite3_bind_double(cell, 13 + k, counts[k]);
                        else sqlite3_bind_null(cell, 13 + k);
                    }
                    bindText(cell, 18, c.verdict);
                    bindText(cell, 19, c.countVerdict);
                    step(cell, false);
                    sqlite3_reset(cell);
                }
            } catch (...) {
                sqlite3_finalize(cell);
                throw;
            }
            sqlite3_finalize(cell);
            run("COMMIT");
            return id;
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

    std::vector<StoredRun> runs(const CellFilter& filter, bool cells) override {
        std::vector<StoredRun> list;
        std::map<std::int64_t, std::size_t> at;
        sqlite3_stmt* query = prepare("SELECT id, recorded, date, machine, lab_version, commit_hash, branch, label, "
                                      "counts_model, source FROM runs ORDER BY id");
        while (sqlite3_step(query) == SQLITE_ROW) {
            StoredRun r;
            r.id = sqlite3_column_int64(query, 0);
            std::string* fields[] = {&r.recorded, &r.date, &r.machine, &r.labVersion, &r.commit, &r.branch, &r.label, &r.countsModel, &r.source};
            for (int i = 0; i < 9; ++i) *fields[i] = text(query, i + 1);
            at[r.id] = list.size();
            list.push_back(r);
        }
        sqlite3_finalize(query);
        query = prepare("SELECT run_id, name, value FROM contexts ORDER BY run_id, position");
        while (sqlite3_step(query) == SQLITE_ROW) {
            list[at[sqlite3_column_int64(query, 0)]].context.emplace_back(text(query, 1), text(query, 2));
        }
        sqlite3_finalize(query);
        query = prepare("SELECT run_id, name, kind, path, file_hash, commit_hash, branch, repository FROM entries");
        while (sqlite3_step(query) == SQLITE_ROW) {
            StoredEntry e{text(query, 1), text(query, 2), text(query, 3), text(query, 4), text(query, 5), text(query, 6), text(query, 7)};
            list[at[sqlite3_column_int64(query, 0)]].entries.push_back(e);
        }
        sqlite3_finalize(query);
        query = prepare("SELECT run_id, COUNT(*), SUM(counted) FROM cells GROUP BY run_id");
        while (sqlite3_step(query) == SQLITE_ROW) {
            StoredRun& r = list[at[sqlite3_column_int64(query, 0)]];
            r.cellCount = std::size_t(sqlite3_column_int64(query, 1)), r.countedCells = std::size_t(sqlite3_column_int64(query, 2));
        }
        sqlite3_finalize(query);
        if (cells) readCells(filter, list, at);
        return list;
    }

private:
    // Brings the schema to this build's version, each step in a transaction of its own.
    void migrate() {
        run("PRAGMA journal_mode = WAL");
        const int from = version();
        if (from > kStoreVersion) {
            throw StoreError("the history " + path_ + " is of version " + std::to_string(from) + ", newer than this hull-lab's (" +
                             std::to_string(kStoreVersion) + "): use a newer hull-lab, or another --history");
        }
        for (int v = from; v < kStoreVersion; ++v) {
            run("BEGIN IMMEDIATE");
            try {
                if (version() == v) {  // another process may have migrated it meanwhile
                    run(kMigrations[v]);
                    run("PRAGMA user_version = " + std::to_string(v + 1));
                }
                run("COMMIT");
            } catch (...) {
                sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
                throw;
            }
        }
    }

    void readCells(const CellFilter& filter, std::vector<StoredRun>& list, const std::map<std::int64_t, std::size_t>& at) {
        std::string where;
        auto among = [&](const char* column, const std::vector<std::string>& values) {
            if (values.empty()) return;
            where += std::string(where.empty() ? " WHERE " : " AND ") + column + " IN (";
            for (std::size_t i = 0; i < values.size(); ++i) where += (i ? ",?" : "?");
            where += ")";
        };
        std::vector<std::string> sizes;
        for (std::int64_t n : filter.sizes) sizes.push_back(std::to_string(n));
        among("algorithm", filter.algorithms);
        among("shape", filter.shapes);
        among("n", sizes);
        sqlite3_stmt* query = prepare("SELECT run_id, shape, n, algorithm, h, status, note, median_s, lo_s, hi_s, runs_s, counted, "
                                      "instructions, l1_misses, ll_misses, branch_misses, est_cycles, verdict, count_verdict "
                                      "FROM cells" + where + " ORDER BY run_id, rowid");
        int index = 1;
        for (const auto* values : {&filter.algorithms, &filter.shapes}) {
            for (const std::string& v : *values) bindText(query, index++, v);
        }
        for (std::int64_t n : filter.sizes) sqlite3_bind_int64(query, index++, n);
        while (sqlite3_step(query) == SQLITE_ROW) {
            StoredCell c;
            c.shape = text(query, 1), c.n = sqlite3_column_int64(query, 2), c.algorithm = text(query, 3);
            c.h = sqlite3_column_int64(query, 4), c.status = text(query, 5), c.note = text(query, 6);
            c.median = sqlite3_column_double(query, 7), c.lo = sqlite3_column_double(query, 8), c.hi = sqlite3_column_double(query, 9);
            c.runs = parsedFigures(text(query, 10));
            c.counted = sqlite3_column_int(query, 11) != 0;
            c.instructions = sqlite3_column_double(query, 12), c.l1Misses = sqlite3_column_double(query, 13);
            c.llMisses = sqlite3_column_double(query, 14), c.branchMisses = sqlite3_column_double(query, 15);
            c.estCycles = sqlite3_column_double(query, 16);
            c.verdict = text(query, 17), c.countVerdict = text(query, 18);
            list[at.at(sqlite3_column_int64(query, 0))].cells.push_back(c);
        }
        sqlite3_finalize(query);
    }

    [[noreturn]] void fail(const std::string& what) {
        throw StoreError("the history " + path_ + ": " + what + ": " + sqlite3_errmsg(db_));
    }
    void run(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string why = message != nullptr ? message : "failed";
            sqlite3_free(message);
            const int code = sqlite3_errcode(db_);
            throw StoreError("the history " + path_ + ": " +
                             (code == SQLITE_BUSY || code == SQLITE_LOCKED ? "locked by another process for too long (" + why + ")"
                              : code == SQLITE_NOTADB ? "not an SQLite file (" + why + ")"
                                                      : why));
        }
    }
    sqlite3_stmt* prepare(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) fail("cannot read it");
        return statement;
    }
    void bindText(sqlite3_stmt* s, int index, const std::string& value) {
        sqlite3_bind_text(s, index, value.c_str(), int(value.size()), SQLITE_TRANSIENT);
    }
    void bindFigure(sqlite3_stmt* s, int index, double value) {
        if (value > 0) sqlite3_bind_double(s, index, value);
        else sqlite3_bind_null(s, index);
    }
    // Binds texts to a statement's places in order, runs it once and finalizes it.
    void bind(sqlite3_stmt* s, const std::vector<std::string>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) bindText(s, int(i + 1), values[i]);
        step(s, true);
    }
    void step(sqlite3_stmt* s, bool finalize) {
        const int code = sqlite3_step(s);
        if (finalize) sqlite3_finalize(s);
        if (code != SQLITE_DONE) fail("cannot write to it");
    }
    static std::string text(sqlite3_stmt* s, int column) {
        const unsigned char* value = sqlite3_column_text(s, column);
        return value != nullptr ? reinterpret_cast<const char*>(value) : "";
    }

    std::string path_;
    sqlite3* db_ = nullptr;
};

}  // namespace

std::string joinedFigures(const std::vector<double>& values) {
    std::ostringstream text;
    text.precision(9);
    for (std::size_t i = 0; i < values.size(); ++i) text << (i ? "," : "") << values[i];
    return text.str();
}

std::vector<double> parsedFigures(const std::string& text) {
    std::vector<double> values;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) values.push_back(std::strtod(item.c_str(), nullptr));
    return values;
}

std::string defaultStorePath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const std::string base = data != nullptr && *data == '/' ? data : std::string(home != nullptr ? home : ".") + "/.local/share";
    return base + "/hull-lab/history.sqlite";
}

std::unique_ptr<Store> openStore(const std::string& where, double waitSeconds) {
    const std::string path = where.empty() ? defaultStorePath() : where;
    if (path.rfind("postgresql://", 0) == 0 || path.rfind("postgres://", 0) == 0) {
#ifdef HULL_LAB_POSTGRES
        return openPostgresStore(path);
#else
        throw StoreError("this hull-lab was built without PostgreSQL's client (libpq-dev): " + path + " cannot be reached");
#endif
    }
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) throw StoreError("the history " + path + " is a folder, not a file");
    return std::make_unique<SqliteStore>(path, waitSeconds);
}

}  // namespace lab

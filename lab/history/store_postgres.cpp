// The store in PostgreSQL, for a team: many machines recording at once into one database, with
// the SQLite store's schema (its types PostgreSQL's), its version in a table of its own, migrated
// under an advisory lock so that two hull-labs starting together migrate it once.

#include <libpq-fe.h>

#include <map>
#include <sstream>

#include "history/history.h"
#include "history/stores.h"

namespace lab {

namespace {

const char* const kMigrations[] = {
    // 0 -> 1: runs, their context, their user's entries and their cells.
    R"(CREATE TABLE runs(
         id BIGSERIAL PRIMARY KEY, recorded TEXT NOT NULL, date TEXT, machine TEXT NOT NULL, lab_version TEXT,
         commit_hash TEXT NOT NULL, branch TEXT, label TEXT, counts_model TEXT, source TEXT);
       CREATE TABLE contexts(run_id BIGINT NOT NULL REFERENCES runs(id) ON DELETE CASCADE, position INTEGER NOT NULL,
         name TEXT NOT NULL, value TEXT NOT NULL);
       CREATE TABLE entries(run_id BIGINT NOT NULL REFERENCES runs(id) ON DELETE CASCADE, name TEXT NOT NULL,
         kind TEXT, path TEXT, file_hash TEXT, commit_hash TEXT, branch TEXT, repository TEXT);
       CREATE TABLE cells(id BIGSERIAL PRIMARY KEY, run_id BIGINT NOT NULL REFERENCES runs(id) ON DELETE CASCADE,
         shape TEXT NOT NULL, n BIGINT NOT NULL, algorithm TEXT NOT NULL, h BIGINT, status TEXT, note TEXT,
         median_s DOUBLE PRECISION, lo_s DOUBLE PRECISION, hi_s DOUBLE PRECISION, runs_s TEXT, counted BOOLEAN NOT NULL,
         instructions DOUBLE PRECISION, l1_misses DOUBLE PRECISION, ll_misses DOUBLE PRECISION,
         branch_misses DOUBLE PRECISION, est_cycles DOUBLE PRECISION, verdict TEXT, count_verdict TEXT);
       CREATE INDEX cells_of_run ON cells(run_id);
       CREATE INDEX cells_by_cell ON cells(algorithm, shape, n);)",
};

// The advisory lock every migration takes (any number: this one is "hull" in ASCII).
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(1752525932)";

// A parameter: a text, or SQL's NULL.
struct Value {
    bool null = false;
    std::string text;
    Value(std::string t) : text(std::move(t)) {}  // NOLINT: texts and figures read alike
    Value(const char* t) : text(t) {}             // NOLINT
    static Value none() {
        Value v("");
        v.null = true;
        return v;
    }
};

Value figure(double v) { return v > 0 ? Value(formatted("%.9e", v)) : Value::none(); }

class PostgresStore : public Store {
public:
    explicit PostgresStore(const std::string& address) : address_(address) {
        db_ = PQconnectdb(address.c_str());
        if (PQstatus(db_) != CONNECTION_OK) {
            std::string why = PQerrorMessage(db_);
            PQfinish(db_);
            db_ = nullptr;
            throw StoreError("cannot reach the history at " + address + ": " + firstLineOf(why));
        }
        try {
            exec("SET client_min_messages = warning");
            migrate();
        } catch (...) {  // no destructor runs for an object not made
            PQfinish(db_);
            throw;
        }
    }
    ~PostgresStore() override { PQfinish(db_); }

    int version() override {
        exec("CREATE TABLE IF NOT EXISTS hull_lab_schema(version INTEGER NOT NULL)");
        PGresult* r = query("SELECT version FROM hull_lab_schema", {});
        const int v = PQntuples(r) > 0 ? std::atoi(PQgetvalue(r, 0, 0)) : 0;
        PQclear(r);
        return v;
    }

    std::int64_t add(const StoredRun& run) override {
        exec("BEGIN");
        try {
            PGresult* r = query("INSERT INTO runs(recorded, date, machine, lab_version, commit_hash, branch, label, counts_model, source) "
                                "VALUES(COALESCE($1, to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')),"
                                "$2,$3,$4,$5,$6,$7,$8,$9) RETURNING id",
                                {run.recorded.empty() ? Value::none() : Value(run.recorded), run.date, run.machine, run.labVersion,
                                 run.commit, run.branch, run.label, run.countsModel, run.source});
            const std::string id = PQgetvalue(r, 0, 0);
            PQclear(r);
            for (std::size_t i = 0; i < run.context.size(); ++i) {
                PQclear(query("INSERT INTO contexts VALUES($1,$2,$3,$4)", {id, std::to_string(i), run.context[i].first, run.context[i].second}));
            }
            for (const StoredEntry& e : run.entries) {
                PQclear(query("INSERT INTO entries VALUES($1,$2,$3,$4,$5,$6,$7,$8)",
                              {id, e.name, e.kind, e.path, e.fileHash, e.commit, e.branch, e.repository}));
            }
            for (const StoredCell& c : run.cells) {
                auto count = [&](double v) { return c.counted ? Value(formatted("%.17g", v)) : Value::none(); };
                PQclear(query("INSERT INTO cells(run_id, shape, n, algorithm, h, status, note, median_s, lo_s, hi_s, runs_s, counted, "
                              "instructions, l1_misses, ll_misses, branch_misses, est_cycles, verdict, count_verdict) "
                              "VALUES($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12,$13,$14,$15,$16,$17,$18,$19)",
                              {id, c.shape, std::to_string(c.n), c.algorithm, std::to_string(c.h), c.status, c.note, figure(c.median),
                               figure(c.lo), figure(c.hi), joinedFigures(c.runs), c.counted ? "true" : "false",
                               count(c.instructions), count(c.l1Misses), count(c.llMisses), count(c.branchMisses),
                               count(c.estCycles), c.verdict, c.countVerdict}));
            }
            exec("COMMIT");
            return std::atoll(id.c_str());
        } catch (...) {
            PQclear(PQexec(db_, "ROLLBACK"));
            throw;
        }
    }

    std::vector<StoredRun> runs(const CellFilter& filter, bool cells) override {
        std::vector<StoredRun> list;
        std::map<std::int64_t, std::size_t> at;
        PGresult* r = query("SELECT id, recorded, date, machine, lab_version, commit_hash, branch, label, counts_model, source "
                            "FROM runs ORDER BY id", {});
        for (int row = 0; row < PQntuples(r); ++row) {
            StoredRun run;
            run.id = std::atoll(PQgetvalue(r, row, 0));
            std::string* fields[] = {&run.recorded, &run.date, &run.machine, &run.labVersion, &run.commit,
                                     &run.branch, &run.label, &run.countsModel, &run.source};
            for (int i = 0; i < 9; ++i) *fields[i] = PQgetvalue(r, row, i + 1);
            at[run.id] = list.size();
            list.push_back(run);
        }
        PQclear(r);
        r = query("SELECT run_id, name, value FROM contexts ORDER BY run_id, position", {});
        for (int row = 0; row < PQntuples(r); ++row) {
            list[at[std::atoll(PQgetvalue(r, row, 0))]].context.emplace_back(PQgetvalue(r, row, 1), PQgetvalue(r, row, 2));
        }
        PQclear(r);
        r = query("SELECT run_id, name, kind, path, file_hash, commit_hash, branch, repository FROM entries", {});
        for (int row = 0; row < PQntuples(r); ++row) {
            StoredEntry e{PQgetvalue(r, row, 1), PQgetvalue(r, row, 2), PQgetvalue(r, row, 3), PQgetvalue(r, row, 4),
                          PQgetvalue(r, row, 5), PQgetvalue(r, row, 6), PQgetvalue(r, row, 7)};
            list[at[std::atoll(PQgetvalue(r, row, 0))]].entries.push_back(e);
        }
        PQclear(r);
        r = query("SELECT run_id, COUNT(*), SUM(counted::int) FROM cells GROUP BY run_id", {});
        for (int row = 0; row < PQntuples(r); ++row) {
            StoredRun& run = list[at[std::atoll(PQgetvalue(r, row, 0))]];
            run.cellCount = std::size_t(std::atoll(PQgetvalue(r, row, 1))), run.countedCells = std::size_t(std::atoll(PQgetvalue(r, row, 2)));
        }
        PQclear(r);
        if (cells) readCells(filter, list, at);
        return list;
    }

private:
    void migrate() {
        exec("BEGIN");
        try {
            exec(kMigrationLock);
            const int from = version();
            if (from > kStoreVersion) {
                throw StoreError("the history at " + address_ + " is of version " + std::to_string(from) + ", newer than this hull-lab's (" +
                                 std::to_string(kStoreVersion) + "): use a newer hull-lab, or another --history");
            }
            for (int v = from; v < kStoreVersion; ++v) exec(kMigrations[v]);
            if (from == 0) exec("INSERT INTO hull_lab_schema VALUES(" + std::to_string(kStoreVersion) + ")");
            else if (from < kStoreVersion) exec("UPDATE hull_lab_schema SET version = " + std::to_string(kStoreVersion));
            exec("COMMIT");
        } catch (...) {
            PQclear(PQexec(db_, "ROLLBACK"));
            throw;
        }
    }

    void readCells(const CellFilter& filter, std::vector<StoredRun>& list, const std::map<std::int64_t, std::size_t>& at) {
        std::string where;
        std::vector<Value> values;
        auto among = [&](const char* column, const std::vector<std::string>& items) {
            if (items.empty()) return;
            where += std::string(where.empty() ? " WHERE " : " AND ") + column + " IN (";
            for (std::size_t i = 0; i < items.size(); ++i) {
                values.emplace_back(items[i]);
                where += (i ? ",$" : "$") + std::to_string(values.size());
            }
            where += ")";
        };
        std::vector<std::string> sizes;
        for (std::int64_t n : filter.sizes) sizes.push_back(std::to_string(n));
        among("algorithm", filter.algorithms);
        among("shape", filter.shapes);
        among("n::text", sizes);
        PGresult* r = query("SELECT run_id, shape, n, algorithm, h, status, note, median_s, lo_s, hi_s, runs_s, counted, instructions, "
                            "l1_misses, ll_misses, branch_misses, est_cycles, verdict, count_verdict FROM cells" + where +
                                " ORDER BY run_id, id",
                            values);
        auto real = [&](int row, int column) { return std::strtod(PQgetvalue(r, row, column), nullptr); };
        for (int row = 0; row < PQntuples(r); ++row) {
            StoredCell c;
            c.shape = PQgetvalue(r, row, 1), c.n = std::atoll(PQgetvalue(r, row, 2)), c.algorithm = PQgetvalue(r, row, 3);
            c.h = std::atoll(PQgetvalue(r, row, 4)), c.status = PQgetvalue(r, row, 5), c.note = PQgetvalue(r, row, 6);
            c.median = real(row, 7), c.lo = real(row, 8), c.hi = real(row, 9);
            c.runs = parsedFigures(PQgetvalue(r, row, 10));
            c.counted = PQgetvalue(r, row, 11)[0] == 't';
            c.instructions = real(row, 12), c.l1Misses = real(row, 13), c.llMisses = real(row, 14);
            c.branchMisses = real(row, 15), c.estCycles = real(row, 16);
            c.verdict = PQgetvalue(r, row, 17), c.countVerdict = PQgetvalue(r, row, 18);
            list[at.at(std::atoll(PQgetvalue(r, row, 0)))].cells.push_back(c);
        }
        PQclear(r);
    }

    static std::string firstLineOf(const std::string& text) {
        std::string line = text.substr(0, text.find('\n'));
        return line.empty() ? "no answer" : line;
    }
    // Runs statements without parameters (several, as a migration has). Throws StoreError.
    void exec(const std::string& sql) { PQclear(checked(PQexec(db_, sql.c_str()))); }
    PGresult* checked(PGresult* r) {
        const ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const std::string why = firstLineOf(PQresultErrorMessage(r));
            PQclear(r);
            throw StoreError("the history at " + address_ + ": " + why);
        }
        return r;
    }
    // Runs `sql` with its parameters; the result, which the caller clears. Throws StoreError.
    PGresult* query(const std::string& sql, const std::vector<Value>& values) {
        std::vector<const char*> params;
        for (const Value& v : values) params.push_back(v.null ? nullptr : v.text.c_str());
        return checked(PQexecParams(db_, sql.c_str(), int(params.size()), nullptr, params.data(), nullptr, nullptr, 0));
    }

    std::string address_;
    PGconn* db_ = nullptr;
};

}  // namespace

std::unique_ptr<Store> openPostgresStore(const std::string& address) { return std::make_unique<PostgresStore>(address); }

}  // namespace lab

// Every statement behind the pages, the album API and uploads finds its rows through an index,
// so answers stay quick however many photos the service holds.

#include "database.h"
#include "storedqueries.h"

#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace {

// The steps of the statement's plan that read a whole table; "error" when it cannot be planned.
std::vector<std::string> tableScans(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &stmt, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(stmt);
        return {std::string("error: ") + sqlite3_errmsg(db)};
    }
    std::vector<std::string> scans;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const std::string detail = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
        if (detail.rfind("SCAN ", 0) == 0 && detail.find("INDEX") == std::string::npos &&
            detail != "SCAN CONSTANT ROW")
            scans.push_back(detail);
    }
    sqlite3_finalize(stmt);
    return scans;
}

TEST(QueryPlanTest, NoServedStatementReadsAWholeTable) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("pikto.sqlite")).toStdString();
    {
        Database store; // makes the tables and indexes as the service does
        std::string error;
        ASSERT_TRUE(store.open(path, error)) << error;
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    // The check itself sees a scan where there is one.
    EXPECT_EQ(tableScans(db, "SELECT id FROM photos WHERE file_name = ?").size(), 1u);
    ASSERT_EQ(StoredQueries::all().size(), static_cast<std::size_t>(StoredQueries::QueryCount));
    for (const StoredQueries::Query& query : StoredQueries::all())
        EXPECT_EQ(tableScans(db, query.sql), std::vector<std::string>()) << query.name;
    sqlite3_close(db);
}

} // namespace

// Points kept in a ClickHouse table, binned where they are: the cell-sums
// query sent over ClickHouse's HTTP interface (libcurl, with TLS for
// clickhouses://), its rows read back as a table of cell sums. An address
//
//     clickhouse://[USER@]HOST[:PORT]/DATABASE.TABLE?x=COLUMN&y=COLUMN[&timeout=SECONDS]
//
// names the table and its columns of x and y; the load names the columns
// of a weight and of a value to average where it asks for them. The
// password never travels in the address.
#pragma once

#include <string>

#include "field/sources/cell_sums_file.h"
#include "field/plot_range.h"
#include "field/sources/sums_query.h"

struct DatabaseAddress {
    bool https = false;
    std::string user; // empty: the server's default user
    std::string host; // a name or an address; IPv6 without its brackets
    int port = 0;
    std::string database, table, x, y;
    long timeout_seconds = 60; // for the whole request
};

// Whether the data name is a database's address rather than a file's.
bool is_database_address(const std::string& name);

// The address as a message may show it: a password written in it, after
// the user's name or as a parameter, is left out. Any other text is kept.
std::string address_for_message(const std::string& text);

// The address's parts; false with what was wrong in *problem.
bool parse_database_address(const std::string& text, DatabaseAddress* address, std::string* problem);

// "HOST:PORT", as messages name the server.
std::string server_name(const DatabaseAddress& address);

// What a request needs besides the address: the password (held in memory
// only), and a watch asked while the answer comes, with how far the server
// is (rows read of rows to read) in *done and *total.
struct DatabaseWatch {
    bool (*go_on)(void* context) = nullptr;
    void* context = nullptr;
    long long* done = nullptr;
    long long* total = nullptr;
};

enum class DatabaseOutcome { done, failed, stopped };

// The query over the address's table and columns, in ClickHouse's
// dialect; the caller sets the range, the rule, and the weight, the value
// and the logarithmic axes it asks for.
SumsQuery database_query(const DatabaseAddress& address);

// Asks the server for the table's cell sums as the query asks (see
// database_query). On failure *problem names the server and its reason.
DatabaseOutcome clickhouse_cell_sums(const DatabaseAddress& address, const std::string& password,
                                     const SumsQuery& query, const DatabaseWatch& watch, CellSumsTable* table,
                                     std::string* problem);

// Asks the server for the bounds of the table's finite points, placed as
// the query's rule places x, above zero on its logarithmic axes.
DatabaseOutcome clickhouse_bounds(const DatabaseAddress& address, const std::string& password, const SumsQuery& query,
                                  const DatabaseWatch& watch, DataBounds* bounds, std::string* problem);

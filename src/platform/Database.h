#pragma once
// A relational database reached by a connection string (the web pages' menu
// and user database). Statements mark their parameters with "?" and the
// values are bound, never pasted into the SQL text.

#include <string>
#include <vector>

namespace tarvelo::platform {

class Database {
public:
    using Row = std::vector<std::string>;
    virtual ~Database() = default;

    // Runs one statement. A query's rows (every column as text) go to `rows`
    // when it is given. False with `error` set when the statement failed.
    virtual bool exec(const std::string& sql, const std::vector<std::string>& params, std::vector<Row>* rows,
                      std::string* error) = 0;
    // The SQL dialect: "sqlite" or "odbc".
    virtual std::string dialect() const = 0;
};

} // namespace tarvelo::platform

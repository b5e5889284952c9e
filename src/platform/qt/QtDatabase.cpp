// The database port on Qt SQL: a SQLite file, or ODBC where a driver is installed.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

#include <atomic>
#include <filesystem>
#include <system_error>

#include "platform/qt/QtPlatform.h"

namespace tarvelo::platform::qt {

namespace {

class QtDatabase : public Database {
public:
    QtDatabase(QString name, std::string dialect) : name_(std::move(name)), dialect_(std::move(dialect)) {}
    ~QtDatabase() override {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }

    bool exec(const std::string& sql, const std::vector<std::string>& params, std::vector<Row>* rows,
              std::string* error) override {
        QSqlQuery query(QSqlDatabase::database(name_, false));
        query.setForwardOnly(true);
        if (!query.prepare(QString::fromLatin1(sql.data(), static_cast<qsizetype>(sql.size())))) return fail(query, error);
        for (const std::string& p : params)
            query.addBindValue(QString::fromLatin1(p.data(), static_cast<qsizetype>(p.size())));
        if (!query.exec()) return fail(query, error);
        if (rows) {
            rows->clear();
            while (query.next()) {
                Row row;
                const int columns = query.record().count();
                for (int c = 0; c < columns; ++c) row.push_back(query.value(c).toString().toLatin1().toStdString());
                rows->push_back(std::move(row));
            }
        }
        return true;
    }

    std::string dialect() const override { return dialect_; }

private:
    static bool fail(const QSqlQuery& query, std::string* error) {
        if (error) *error = query.lastError().text().toStdString();
        return false;
    }

    QString name_;
    std::string dialect_;
};

bool IsOdbcString(const std::string& connection) {
    const QString c = QString::fromLatin1(connection.data(), static_cast<qsizetype>(connection.size())).toUpper();
    return c.contains("DSN=") || c.contains("DRIVER=");
}

} // namespace

std::unique_ptr<Database> OpenQtDatabase(const std::string& connection, std::string& error) {
    static std::atomic<int> counter{0};
    const bool odbc = IsOdbcString(connection);
    const QString driver = odbc ? "QODBC" : "QSQLITE";
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        error = "the Qt SQL driver " + driver.toStdString() + " is not installed";
        return nullptr;
    }
    // A SQLite path that does not exist must not silently become a new, empty database.
    std::error_code ec;
    if (!odbc && !std::filesystem::is_regular_file(connection, ec)) {
        error = "no database file " + connection;
        return nullptr;
    }
    const QString name = QString("tarvelo-db-%1").arg(++counter);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
        db.setDatabaseName(QString::fromLatin1(connection.data(), static_cast<qsizetype>(connection.size())));
        if (!db.open()) {
            error = db.lastError().text().toStdString();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return nullptr;
        }
    }
    return std::make_unique<QtDatabase>(name, odbc ? "odbc" : "sqlite");
}

} // namespace tarvelo::platform::qt

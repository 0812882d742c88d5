// Our small data-access layer over libpq: connections, queries with named parameters and declared
// fields, refresh, edit/post, and stored-function calls. It knows nothing of invoices.
//
// Every object is a QObject whose objectName is the component's name ("conQem", "dsLogQuorvela"), so that
// messages can be prefixed with it and tests can find it with findChild.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

struct pg_conn;
struct pg_result;

namespace qv::pg {

enum class SslMode { Prefer, Require };

// Owns a libpq result.
struct ResultDeleter { void operator()(pg_result* r) const; };
using Result = std::unique_ptr<pg_result, ResultDeleter>;

// A bound parameter as it goes to the server: never spliced into the SQL text.
enum class ParamType { Text, Integer, LargeInt, Float, Boolean, Date, DateTime };

class Param {
public:
    Param() = default;
    Param(QString name, ParamType type) : name_(std::move(name)), type_(type) {}
    const QString& name() const { return name_; }
    ParamType type() const { return type_; }
    bool isNull() const { return !value_.has_value(); }
    void clear() { value_.reset(); }
    void setAsString(const QString& v) { value_ = v.toStdString(); }
    void setAsInt64(std::int64_t v) { value_ = std::to_string(v); }
    void setAsInteger(int v) { value_ = std::to_string(v); }
    void setAsBoolean(bool v) { value_ = v ? "true" : "false"; }
    void setAsDate(const QDate& d) { value_ = d.toString(Qt::ISODate).toStdString(); }
    void setRawText(std::optional<std::string> utf8) { value_ = std::move(utf8); }
    const std::optional<std::string>& rawText() const { return value_; }
    QString asString() const { return value_ ? QString::fromStdString(*value_) : QString(); }

private:
    QString name_;
    ParamType type_ = ParamType::Text;
    std::optional<std::string> value_;
};

// ":pName" placeholders turned into "$n" (a name used twice gets the same number). String literals,
// quoted identifiers, comments and "::" casts are left alone.
struct ParsedSql {
    std::string sql;                 // with $1..$n
    std::vector<QString> paramNames; // index i is $i+1
};
ParsedSql parseNamedParams(const std::string& sql);

class Connection : public QObject {
    Q_OBJECT
public:
    explicit Connection(const QString& name, QObject* parent = nullptr);
    ~Connection() override;

    // Definition. Setting a different server, port or database closes the connection first; setting the
    // value it already has does nothing. An empty server or port 0 leaves it to libpq's conventions
    // (PGHOST / PGPORT, service file), an empty password to PGPASSWORD / ~/.pgpass.
    void setServer(const QString& v);
    QString server() const { return server_; }
    void setPort(int v);
    int port() const { return port_; }
    void setDatabase(const QString& v);
    QString database() const { return database_; }
    void setUsername(const QString& v);
    QString username() const { return username_; }
    void setPassword(const QString& v);
    // Changing the SSL mode of an open connection is an error; setting the same mode does nothing.
    void setSslMode(SslMode m);
    SslMode sslMode() const { return sslMode_; }
    void setConnectTimeout(int seconds) { connectTimeout_ = seconds; }
    int connectTimeout() const { return connectTimeout_; }
    // Disconnected mode: connected for each operation that needs it and closed again as soon as none
    // holds it. Open datasets keep their rows.
    void setDisconnectedMode(bool on);
    bool disconnectedMode() const { return disconnectedMode_; }

    void open();   // connect now (throws AppError with libpq's text)
    void close();
    bool isConnected() const;
    bool usesSsl() const;  // the open connection is encrypted

    // Keeps the connection open for the length of an operation (in disconnected mode it connects on the
    // first hold and disconnects when the last one ends).
    class Hold {
    public:
        explicit Hold(Connection& c);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
    private:
        Connection& c_;
    };

    // Runs one statement with bound parameters (text format). Throws AppError carrying the server's
    // primary message (or libpq's text for connection failures). Each statement commits on its own.
    Result exec(const std::string& sql, const std::vector<const Param*>& params = {});
    // The same, through a statement prepared once per connection: for a statement run again and again
    // while the connection is held, whose planning would cost more than its execution.
    Result execPrepared(const std::string& sql, const std::vector<const Param*>& params = {});

    pg_conn* raw() const { return conn_; }

signals:
    void connectedChanged(bool connected);

private:
    template <class T>
    void retarget(T& field, const T& v);
    void acquire();
    void release();
    void dropIfBroken();

    QString server_, database_, username_, password_;
    int port_ = 0;
    SslMode sslMode_ = SslMode::Require;
    int connectTimeout_ = 15;
    bool disconnectedMode_ = false;
    int holds_ = 0;
    pg_conn* conn_ = nullptr;
    std::map<std::string, std::string> prepared_;  // SQL -> statement name, for conn_
};

// Declared field types; each accepts one family of server types.
enum class FieldType { String, Memo, Integer, LargeInt, Float, Boolean, Date, DateTime };
QString fieldTypeName(FieldType t);

struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;          // characters, for String
    bool required = false;
    bool readOnly = false;
};

class Query;

// Declares fields from a list such as "emitent text(100) req; a, b bool req; obs long text": groups
// separated by ";", each one or more names, a type (text(n), long text, integer, 64-bit integer, float,
// bool, date, datetime) and "req" for a field declared not null.
void declareFields(Query& q, const char* list);

// A read of one field of the current record.
class FieldRef {
public:
    FieldRef(const Query& q, int col) : q_(q), col_(col) {}
    bool isNull() const;
    QString asString() const;          // null reads as empty text
    std::int64_t asInt64() const;      // null reads as 0
    int asInteger() const;
    double asFloat() const;
    bool asBoolean() const;
    QDate asDate() const;
    QDateTime asDateTime() const;
    std::string_view raw() const;      // the server's text form
private:
    const Query& q_;
    int col_;
};

// A query with declared (persistent) fields. Rows are kept in the libpq result (text format); edits and
// single-row re-reads lie in a small overlay on top of it.
class Query : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit };

    Query(const QString& name, Connection* connection, QObject* parent = nullptr);
    ~Query() override;

    Connection* connection() const { return conn_; }

    // SQL given line by line; the lines are joined with "\n". Parameters are found in the text.
    void setSql(const QStringList& lines);
    const QStringList& sqlLines() const { return sqlLines_; }
    // Declares a parameter's type (parameters not declared are text).
    void declareParam(const QString& name, ParamType type);
    Param& paramByName(const QString& name);   // throws AppError for an unknown name
    const std::vector<Param>& params() const { return params_; }

    void declareField(const QString& name, FieldType type, int size = 0, bool required = false);
    const std::vector<FieldDef>& fields() const { return fields_; }
    int fieldIndex(const QString& name) const;   // -1 when not declared

    void setReadOnly(bool ro) { readOnly_ = ro; }
    bool isReadOnly() const { return readOnly_; }
    // Refresh keeps the current record by this field (the first record with the noted value), or goes to
    // the first record when it is gone.
    void setKeyField(const QString& name) { keyField_ = name; }
    QString keyField() const { return keyField_; }

    // Master-detail: parameters named like the master's fields take the master's current values; while
    // open, the detail re-reads when the master's current record changes.
    void setMaster(Query* master, const QStringList& masterFields);

    void open();
    void close();
    void refresh();
    bool isActive() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    int recordCount() const { return rows_; }
    int recNo() const { return cur_; }          // 0-based, -1 when there is none
    void setRecNo(int row);                     // emits currentChanged when it moves
    void first() { setRecNo(rows_ > 0 ? 0 : -1); }
    void next() { if (cur_ + 1 < rows_) setRecNo(cur_ + 1); else eof_ = true; }
    bool eof() const { return eof_ || rows_ == 0; }
    bool isEmpty() const { return rows_ == 0; }

    FieldRef fieldByName(const QString& name) const;   // throws "<ds>: Field 'x' not found"

    // Raw cell access, for views (row and column indexes as in fields()).
    bool isNull(int row, int col) const;
    std::string_view rawValue(int row, int col) const;

    // Editing the current record: one UPDATE of the changed fields on post.
    void edit();
    void setFieldValue(const QString& name, const QString& value);
    void setFieldNull(const QString& name);
    void post();
    void cancel();

    // Re-reads the records whose key field equals the current record's, in place, when the query still
    // gives as many of them; otherwise refreshes the whole result. Returns true when done in place.
    bool refreshCurrentKey();
    // The query that reads the records of one key for refreshCurrentKey, with a parameter named like the
    // key field; without one, the dataset's own query is filtered from outside (which the planner may not
    // be able to push down).
    void setKeyRecordSql(const QStringList& lines);

signals:
    void opened();                 // rows replaced (open or refresh)
    void closed();
    void rowsChanged(int first, int last);  // values of these records changed in place
    void currentChanged(int row);

private:
    friend class FieldRef;
    void fetch(std::optional<QString> keepKey);
    void checkFields();
    std::vector<const Param*> boundParams() const;
    void applyMaster();
    int findByKey(const std::string& key) const;
    void loadTableInfo(unsigned tableOid);
    [[noreturn]] void fail(const QString& message) const;

    struct TableInfo {
        unsigned oid = 0;
        std::string name;                     // quoted schema.table
        std::vector<std::string> columnName;  // per declared field; empty when not a column of the table
        std::vector<int> keyFields;           // declared fields of the first unique index
    };
    std::optional<TableInfo> tableInfo_;

    Connection* conn_;
    QStringList sqlLines_;
    ParsedSql parsed_;
    std::vector<Param> params_;
    std::map<QString, ParamType> paramTypes_;
    std::vector<FieldDef> fields_;
    std::vector<int> resultCol_;                 // declared field -> result column
    bool readOnly_ = false;
    QString keyField_;
    std::optional<ParsedSql> keyRecordSql_;
    Query* master_ = nullptr;
    QStringList masterFields_;
    QMetaObject::Connection masterConn_;

    Result result_;
    int rows_ = 0;
    int cur_ = -1;
    bool eof_ = false;
    State state_ = State::Inactive;
    // Cells written after the rows were read (posted edits, re-read records): a row points into a small table
    // of replaced cells, so that reading any cell stays O(1) however many were replaced.
    class CellOverlay {
    public:
        void clear() {
            rowSlot_.clear();
            slots_.clear();
        }
        // The replaced value (nullopt = null), or nullptr when the cell is as read.
        const std::optional<std::string>* find(int row, int col) const {
            if (rowSlot_.empty() || rowSlot_[size_t(row)] < 0) return nullptr;
            const auto& cell = slots_[size_t(rowSlot_[size_t(row)])][size_t(col)];
            return cell.first ? &cell.second : nullptr;
        }
        void set(int rows, int cols, int row, int col, std::optional<std::string> v) {
            if (rowSlot_.empty()) rowSlot_.assign(size_t(rows), -1);
            int& slot = rowSlot_[size_t(row)];
            if (slot < 0) {
                slot = int(slots_.size());
                slots_.emplace_back(size_t(cols));
            }
            slots_[size_t(slot)][size_t(col)] = {true, std::move(v)};
        }

    private:
        std::vector<int> rowSlot_;
        std::vector<std::vector<std::pair<bool, std::optional<std::string>>>> slots_;
    };
    CellOverlay overlay_;
    std::map<int, std::optional<std::string>> pending_;  // edits of the current record, by column
    std::map<int, std::optional<std::string>> oldValues_;
};

// A stored-function call: "SELECT * FROM f(:a, :b)". Errors carry only the server's primary message.
class StoredProc : public QObject {
    Q_OBJECT
public:
    StoredProc(const QString& name, Connection* connection, QObject* parent = nullptr);
    void setSql(const QString& sql);
    void declareParam(const QString& name, ParamType type);
    Param& paramByName(const QString& name);
    void execute();
private:
    Connection* conn_;
    ParsedSql parsed_;
    std::vector<Param> params_;
};

}  // namespace qv::pg

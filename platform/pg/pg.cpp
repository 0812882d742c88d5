#include "platform/pg/pg.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qv::pg {

void ResultDeleter::operator()(pg_result* r) const { PQclear(r); }

namespace {

// Types of bound parameters: text goes as "unknown" so that the server infers it from the context (a
// varchar column, lower(), a function argument), the way a hand-typed literal would be.
Oid paramOid(ParamType t) {
    switch (t) {
    case ParamType::Text: return 0;
    case ParamType::Integer: return 23;
    case ParamType::LargeInt: return 20;
    case ParamType::Float: return 701;
    case ParamType::Boolean: return 16;
    case ParamType::Date: return 1082;
    case ParamType::DateTime: return 1114;
    }
    return 0;
}

std::optional<FieldType> familyOf(Oid oid) {
    switch (oid) {
    case 1043: case 1042: case 19: case 18: return FieldType::String;
    case 25: case 114: case 3802: case 142: return FieldType::Memo;
    case 21: case 23: return FieldType::Integer;
    case 20: return FieldType::LargeInt;
    case 700: case 701: case 1700: return FieldType::Float;
    case 16: return FieldType::Boolean;
    case 1082: return FieldType::Date;
    case 1114: case 1184: return FieldType::DateTime;
    default: return std::nullopt;
    }
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

// The message a user can act on: the server's primary text when there is one, else libpq's own.
std::string errorText(PGconn* conn, const PGresult* r) {
    if (r) {
        if (const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY)) return primary;
        std::string m = trimmed(PQresultErrorMessage(r));
        if (!m.empty()) return m;
    }
    return trimmed(conn ? PQerrorMessage(conn) : "no connection to the server");
}

bool isIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (unsigned char)c >= 0x80; }
bool isIdentChar(char c) { return isIdentStart(c) || (c >= '0' && c <= '9'); }

}  // namespace

ParsedSql parseNamedParams(const std::string& in) {
    ParsedSql out;
    std::string& s = out.sql;
    s.reserve(in.size() + 8);
    const size_t n = in.size();
    size_t i = 0;
    auto copyUntil = [&](size_t end) {
        s.append(in, i, end - i);
        i = end;
    };
    while (i < n) {
        char c = in[i];
        if (c == '\'') {
            // A string literal; E'' strings also take backslash escapes.
            bool escapes = i > 0 && (in[i - 1] == 'E' || in[i - 1] == 'e');
            size_t j = i + 1;
            while (j < n) {
                if (escapes && in[j] == '\\' && j + 1 < n) { j += 2; continue; }
                if (in[j] == '\'') {
                    if (j + 1 < n && in[j + 1] == '\'') { j += 2; continue; }
                    break;
                }
                ++j;
            }
            copyUntil(std::min(n, j + 1));
        } else if (c == '"') {
            size_t j = in.find('"', i + 1);
            copyUntil(j == std::string::npos ? n : j + 1);
        } else if (c == '-' && i + 1 < n && in[i + 1] == '-') {
            size_t j = in.find('\n', i);
            copyUntil(j == std::string::npos ? n : j);
        } else if (c == '/' && i + 1 < n && in[i + 1] == '*') {
            int depth = 0;
            size_t j = i;
            while (j < n) {
                if (in[j] == '/' && j + 1 < n && in[j + 1] == '*') { ++depth; j += 2; continue; }
                if (in[j] == '*' && j + 1 < n && in[j + 1] == '/') { j += 2; if (--depth == 0) break; continue; }
                ++j;
            }
            copyUntil(std::min(n, j));
        } else if (c == '$' && i + 1 < n && (in[i + 1] == '$' || isIdentStart(in[i + 1])) &&
                   !(i > 0 && isIdentChar(in[i - 1]))) {
            // Dollar quoting: $tag$ ... $tag$
            size_t j = i + 1;
            while (j < n && in[j] != '$' && isIdentChar(in[j])) ++j;
            if (j < n && in[j] == '$') {
                std::string tag = in.substr(i, j - i + 1);
                size_t end = in.find(tag, j + 1);
                copyUntil(end == std::string::npos ? n : end + tag.size());
            } else {
                copyUntil(j);
            }
        } else if (c == ':' && i + 1 < n && in[i + 1] == ':') {
            copyUntil(i + 2);
        } else if (c == ':' && i + 1 < n && isIdentStart(in[i + 1]) && !(i > 0 && in[i - 1] == ':')) {
            size_t j = i + 1;
            while (j < n && isIdentChar(in[j])) ++j;
            QString name = QString::fromUtf8(in.data() + i + 1, int(j - i - 1));
            auto it = std::find(out.paramNames.begin(), out.paramNames.end(), name);
            size_t idx = it - out.paramNames.begin();
            if (it == out.paramNames.end()) out.paramNames.push_back(name);
            s += '$';
            s += std::to_string(idx + 1);
            i = j;
        } else {
            s += c;
            ++i;
        }
    }
    return out;
}

// ---------------------------------------------------------------- Connection

Connection::Connection(const QString& name, QObject* parent) : QObject(parent) { setObjectName(name); }

Connection::~Connection() {
    if (conn_) PQfinish(conn_);
}

// A different target closes the connection first; the value it already has changes nothing.
template <class T>
void Connection::retarget(T& field, const T& v) {
    if (v == field) return;
    close();
    field = v;
}

void Connection::setServer(const QString& v) { retarget(server_, v); }
void Connection::setPort(int v) { retarget(port_, v); }
void Connection::setDatabase(const QString& v) { retarget(database_, v); }
void Connection::setUsername(const QString& v) { retarget(username_, v); }
void Connection::setPassword(const QString& v) { retarget(password_, v); }

void Connection::setSslMode(SslMode m) {
    if (m == sslMode_) return;
    if (isConnected()) throw AppError(objectName() + ": cannot change the SSL mode of an open connection");
    sslMode_ = m;
}

void Connection::setDisconnectedMode(bool on) {
    disconnectedMode_ = on;
    if (on && holds_ == 0) close();
}

bool Connection::isConnected() const { return conn_ != nullptr; }

bool Connection::usesSsl() const { return conn_ && PQsslInUse(conn_); }

void Connection::open() {
    if (conn_) return;
    std::vector<std::string> keys, values;
    auto add = [&](const char* k, const std::string& v) {
        keys.emplace_back(k);
        values.push_back(v);
    };
    if (!server_.isEmpty()) add("host", server_.toStdString());
    if (port_ > 0) add("port", std::to_string(port_));
    add("dbname", database_.toStdString());
    if (!username_.isEmpty()) add("user", username_.toStdString());
    if (!password_.isEmpty()) add("password", password_.toStdString());
    add("sslmode", sslMode_ == SslMode::Require ? "require" : "prefer");
    add("connect_timeout", std::to_string(connectTimeout_));
    add("client_encoding", "UTF8");
    add("application_name", "wQuorvela");
    std::vector<const char*> k, v;
    for (size_t i = 0; i < keys.size(); ++i) {
        k.push_back(keys[i].c_str());
        v.push_back(values[i].c_str());
    }
    k.push_back(nullptr);
    v.push_back(nullptr);
    PGconn* c = PQconnectdbParams(k.data(), v.data(), 0);
    if (PQstatus(c) != CONNECTION_OK) {
        std::string msg = trimmed(PQerrorMessage(c));
        PQfinish(c);
        if (msg.find("server does not support SSL, but SSL was required") != std::string::npos)
            throw AppError("SSL connection is not allowed");
        throw AppError(msg);
    }
    conn_ = c;
    emit connectedChanged(true);
}

void Connection::close() {
    if (!conn_) return;
    PQfinish(conn_);
    conn_ = nullptr;
    prepared_.clear();
    emit connectedChanged(false);
}

void Connection::acquire() {
    open();
    ++holds_;
}

void Connection::release() {
    if (--holds_ == 0 && disconnectedMode_) close();
}

void Connection::dropIfBroken() {
    if (conn_ && PQstatus(conn_) == CONNECTION_BAD) close();
}

Connection::Hold::Hold(Connection& c) : c_(c) { c_.acquire(); }
Connection::Hold::~Hold() { c_.release(); }

Result Connection::exec(const std::string& sql, const std::vector<const Param*>& params) {
    Hold hold(*this);
    std::vector<Oid> types;
    std::vector<const char*> values;
    for (const Param* p : params) {
        types.push_back(paramOid(p->type()));
        values.push_back(p->rawText() ? p->rawText()->c_str() : nullptr);
    }
    Result r(PQexecParams(conn_, sql.c_str(), int(params.size()), types.data(), values.data(), nullptr, nullptr, 0));
    ExecStatusType st = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        std::string msg = errorText(conn_, r.get());
        dropIfBroken();
        throw AppError(msg);
    }
    return r;
}

Result Connection::execPrepared(const std::string& sql, const std::vector<const Param*>& params) {
    Hold hold(*this);
    std::vector<Oid> types;
    std::vector<const char*> values;
    for (const Param* p : params) {
        types.push_back(paramOid(p->type()));
        values.push_back(p->rawText() ? p->rawText()->c_str() : nullptr);
    }
    auto fail = [this](const PGresult* r) {
        std::string msg = errorText(conn_, r);
        dropIfBroken();
        throw AppError(msg);
    };
    auto it = prepared_.find(sql);
    if (it == prepared_.end()) {
        const std::string name = "qv_" + std::to_string(prepared_.size() + 1);
        Result r(PQprepare(conn_, name.c_str(), sql.c_str(), int(params.size()), types.data()));
        if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) fail(r.get());
        it = prepared_.emplace(sql, name).first;
    }
    Result r(PQexecPrepared(conn_, it->second.c_str(), int(params.size()), values.data(), nullptr, nullptr, 0));
    ExecStatusType st = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) fail(r.get());
    return r;
}

// ---------------------------------------------------------------- fields

QString fieldTypeName(FieldType t) {
    switch (t) {
    case FieldType::String: return QStringLiteral("WideString");
    case FieldType::Memo: return QStringLiteral("WideMemo");
    case FieldType::Integer: return QStringLiteral("Integer");
    case FieldType::LargeInt: return QStringLiteral("LargeInt");
    case FieldType::Float: return QStringLiteral("Float");
    case FieldType::Boolean: return QStringLiteral("Boolean");
    case FieldType::Date: return QStringLiteral("Date");
    case FieldType::DateTime: return QStringLiteral("DateTime");
    }
    return {};
}

bool FieldRef::isNull() const { return q_.cur_ < 0 || q_.isNull(q_.cur_, col_); }

std::string_view FieldRef::raw() const { return q_.cur_ < 0 ? std::string_view() : q_.rawValue(q_.cur_, col_); }

QString FieldRef::asString() const {
    std::string_view v = raw();
    return QString::fromUtf8(v.data(), qsizetype(v.size()));
}

std::int64_t FieldRef::asInt64() const {
    if (isNull()) return 0;
    std::string v(raw());
    return std::strtoll(v.c_str(), nullptr, 10);
}

int FieldRef::asInteger() const { return int(asInt64()); }

double FieldRef::asFloat() const {
    if (isNull()) return 0;
    std::string v(raw());
    return std::strtod(v.c_str(), nullptr);
}

bool FieldRef::asBoolean() const {
    std::string_view v = raw();
    return !v.empty() && (v[0] == 't' || v[0] == 'T' || v[0] == '1');
}

QDate FieldRef::asDate() const {
    if (isNull()) return {};
    return QDate::fromString(asString().left(10), Qt::ISODate);
}

QDateTime FieldRef::asDateTime() const {
    if (isNull()) return {};
    QString s = asString();
    if (s.size() == 10) return QDateTime(QDate::fromString(s, Qt::ISODate), QTime(0, 0));
    s.replace(QLatin1Char(' '), QLatin1Char('T'));
    return QDateTime::fromString(s, Qt::ISODateWithMs);
}

void declareFields(Query& q, const char* list) {
    const QStringList groups = QString::fromUtf8(list).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString g : groups) {
        g = g.trimmed();
        if (g.isEmpty()) continue;
        bool required = false;
        if (g.endsWith(QLatin1String(" req"))) {
            required = true;
            g.chop(4);
        }
        struct Kind { const char* word; FieldType type; };
        static const Kind kinds[] = {{" 64-bit integer", FieldType::LargeInt}, {" long text", FieldType::Memo},
                                     {" integer", FieldType::Integer},        {" float", FieldType::Float},
                                     {" bool", FieldType::Boolean},           {" datetime", FieldType::DateTime},
                                     {" date", FieldType::Date}};
        FieldType type = FieldType::String;
        int size = 0;
        bool matched = false;
        for (const Kind& k : kinds) {
            if (g.endsWith(QLatin1String(k.word))) {
                type = k.type;
                g.chop(qsizetype(std::strlen(k.word)));
                matched = true;
                break;
            }
        }
        if (!matched) {
            const qsizetype at = g.lastIndexOf(QLatin1String(" text("));
            if (at < 0 || !g.endsWith(QLatin1Char(')'))) throw AppError(QStringLiteral("Bad field list: ") + g);
            size = g.mid(at + 6, g.size() - at - 7).toInt();
            g.truncate(at);
        }
        for (const QString& name : g.split(QLatin1Char(','))) q.declareField(name.trimmed(), type, size, required);
    }
}

// ---------------------------------------------------------------- Query

Query::Query(const QString& name, Connection* connection, QObject* parent)
    : QObject(parent), conn_(connection) {
    setObjectName(name);
}

Query::~Query() = default;

void Query::fail(const QString& message) const { throw AppError(objectName() + QStringLiteral(": ") + message); }

void Query::setSql(const QStringList& lines) {
    if (isActive()) close();
    tableInfo_.reset();
    sqlLines_ = lines;
    parsed_ = parseNamedParams(lines.join(QLatin1Char('\n')).toStdString());
    std::vector<Param> old = std::move(params_);
    params_.clear();
    for (const QString& n : parsed_.paramNames) {
        auto t = paramTypes_.find(n);
        Param p(n, t == paramTypes_.end() ? ParamType::Text : t->second);
        for (const Param& o : old)
            if (o.name() == n) p.setRawText(o.rawText());
        params_.push_back(std::move(p));
    }
}

void Query::declareParam(const QString& name, ParamType type) {
    paramTypes_[name] = type;
    for (Param& p : params_)
        if (p.name() == name) p = Param(name, type);
}

Param& Query::paramByName(const QString& name) {
    for (Param& p : params_)
        if (p.name() == name) return p;
    fail(QStringLiteral("Parameter '%1' not found").arg(name));
}

void Query::declareField(const QString& name, FieldType type, int size, bool required) {
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = size;
    f.required = required;
    fields_.push_back(f);
}

int Query::fieldIndex(const QString& name) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name == name) return int(i);
    return -1;
}

void Query::setMaster(Query* master, const QStringList& masterFields) {
    if (masterConn_) disconnect(masterConn_);
    master_ = master;
    masterFields_ = masterFields;
    if (master_) {
        masterConn_ = connect(master_, &Query::currentChanged, this, [this] {
            if (isActive()) {
                state_ = State::Browse;
                pending_.clear();
                fetch(std::nullopt);
            }
        });
    }
}

void Query::applyMaster() {
    if (!master_) return;
    for (const QString& f : masterFields_) {
        int col = master_->fieldIndex(f);
        Param& p = paramByName(f);
        if (col < 0 || master_->recNo() < 0 || master_->isNull(master_->recNo(), col))
            p.clear();
        else
            p.setRawText(std::string(master_->rawValue(master_->recNo(), col)));
    }
}

std::vector<const Param*> Query::boundParams() const {
    std::vector<const Param*> out;
    for (const Param& p : params_) out.push_back(&p);
    return out;
}

int Query::findByKey(const std::string& key) const {
    int col = fieldIndex(keyField_);
    if (col < 0) return -1;
    for (int r = 0; r < rows_; ++r)
        if (!isNull(r, col) && rawValue(r, col) == key) return r;
    return -1;
}

void Query::fetch(std::optional<QString> keepKey) {
    applyMaster();
    Result r = conn_->exec(parsed_.sql, boundParams());
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) fail(QStringLiteral("the statement returned no rows"));
    // Check the declared fields against what came back before replacing anything: a failed refresh keeps
    // the rows the user was looking at.
    std::vector<int> cols(fields_.size(), -1);
    const int nf = PQnfields(r.get());
    for (size_t i = 0; i < fields_.size(); ++i) {
        std::string want = fields_[i].name.toStdString();
        for (int c = 0; c < nf; ++c)
            if (want == PQfname(r.get(), c)) { cols[i] = c; break; }
        if (cols[i] < 0) fail(QStringLiteral("Field '%1' not found").arg(fields_[i].name));
        Oid oid = PQftype(r.get(), cols[i]);
        std::optional<FieldType> fam = familyOf(oid);
        if (!fam || *fam != fields_[i].type)
            fail(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                     .arg(fields_[i].name, fieldTypeName(fields_[i].type),
                          fam ? fieldTypeName(*fam) : QStringLiteral("Unknown(%1)").arg(oid)));
    }
    result_ = std::move(r);
    resultCol_ = std::move(cols);
    rows_ = PQntuples(result_.get());
    overlay_.clear();
    pending_.clear();
    state_ = State::Browse;
    eof_ = false;
    int row = rows_ > 0 ? 0 : -1;
    if (keepKey && rows_ > 0) {
        int found = findByKey(keepKey->toStdString());
        if (found >= 0) row = found;
    }
    cur_ = row;
    emit opened();
    emit currentChanged(cur_);
}

void Query::open() {
    if (isActive()) return;
    fetch(std::nullopt);
}

void Query::close() {
    if (!isActive()) return;
    result_.reset();
    rows_ = 0;
    cur_ = -1;
    eof_ = false;
    overlay_.clear();
    pending_.clear();
    state_ = State::Inactive;
    emit closed();
    emit currentChanged(-1);
}

void Query::refresh() {
    if (!isActive()) fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (state_ == State::Edit) post();
    std::optional<QString> key;
    int col = fieldIndex(keyField_);
    if (col >= 0 && cur_ >= 0 && !isNull(cur_, col)) {
        std::string_view v = rawValue(cur_, col);
        key = QString::fromUtf8(v.data(), qsizetype(v.size()));
    }
    fetch(key);
}

void Query::setKeyRecordSql(const QStringList& lines) {
    keyRecordSql_ = parseNamedParams(lines.join(QLatin1Char('\n')).toStdString());
}

void Query::setRecNo(int row) {
    if (row < -1 || row >= rows_) return;
    eof_ = false;
    if (row == cur_) return;
    if (state_ == State::Edit) post();
    cur_ = row;
    emit currentChanged(cur_);
}

bool Query::isNull(int row, int col) const {
    if (row == cur_ && state_ == State::Edit) {
        auto p = pending_.find(col);
        if (p != pending_.end()) return !p->second.has_value();
    }
    if (const auto* o = overlay_.find(row, col)) return !o->has_value();
    return PQgetisnull(result_.get(), row, resultCol_[col]);
}

std::string_view Query::rawValue(int row, int col) const {
    if (row == cur_ && state_ == State::Edit) {
        auto p = pending_.find(col);
        if (p != pending_.end()) return p->second ? std::string_view(*p->second) : std::string_view();
    }
    if (const auto* o = overlay_.find(row, col)) return *o ? std::string_view(**o) : std::string_view();
    int c = resultCol_[col];
    return std::string_view(PQgetvalue(result_.get(), row, c), size_t(PQgetlength(result_.get(), row, c)));
}

FieldRef Query::fieldByName(const QString& name) const {
    int col = fieldIndex(name);
    if (col < 0) fail(QStringLiteral("Field '%1' not found").arg(name));
    return FieldRef(*this, col);
}

void Query::edit() {
    if (!isActive()) fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (readOnly_) fail(QStringLiteral("Cannot modify a read-only dataset"));
    if (cur_ < 0) fail(QStringLiteral("Cannot edit an empty dataset"));
    if (state_ == State::Edit) return;
    pending_.clear();
    state_ = State::Edit;
}

void Query::setFieldValue(const QString& name, const QString& value) {
    int col = fieldIndex(name);
    if (col < 0) fail(QStringLiteral("Field '%1' not found").arg(name));
    if (state_ != State::Edit) fail(QStringLiteral("Dataset not in edit or insert mode"));
    pending_[col] = value.toStdString();
}

void Query::setFieldNull(const QString& name) {
    int col = fieldIndex(name);
    if (col < 0) fail(QStringLiteral("Field '%1' not found").arg(name));
    if (state_ != State::Edit) fail(QStringLiteral("Dataset not in edit or insert mode"));
    pending_[col] = std::nullopt;
}

void Query::cancel() {
    pending_.clear();
    if (state_ == State::Edit) state_ = State::Browse;
    emit rowsChanged(cur_, cur_);
}

namespace {
std::string quoteIdent(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}
}  // namespace

// Where the current record came from: the table behind the edited columns, the columns of its first
// unique index (when the result carries all of them) and the table's name for each result column.
void Query::loadTableInfo(unsigned tableOid) {
    tableInfo_ = TableInfo{};
    tableInfo_->oid = tableOid;
    Param oid(QStringLiteral("oid"), ParamType::Integer);
    oid.setAsInt64(tableOid);
    Result name = conn_->exec("select quote_ident(n.nspname) || '.' || quote_ident(c.relname) from pg_class c "
                              "join pg_namespace n on n.oid = c.relnamespace where c.oid = $1::oid",
                              {&oid});
    if (PQntuples(name.get()) != 1) fail(QStringLiteral("Cannot find the table to update"));
    tableInfo_->name = PQgetvalue(name.get(), 0, 0);
    Result cols = conn_->exec("select attnum, attname from pg_attribute where attrelid = $1::oid and attnum > 0 and "
                              "not attisdropped",
                              {&oid});
    std::map<int, std::string> attName;
    for (int i = 0; i < PQntuples(cols.get()); ++i)
        attName[std::atoi(PQgetvalue(cols.get(), i, 0))] = PQgetvalue(cols.get(), i, 1);
    // Dataset column -> table column name, for the columns that come straight from that table.
    tableInfo_->columnName.assign(fields_.size(), std::string());
    for (size_t f = 0; f < fields_.size(); ++f) {
        int rc = resultCol_[f];
        if (PQftable(result_.get(), rc) == tableOid) {
            auto it = attName.find(PQftablecol(result_.get(), rc));
            if (it != attName.end()) tableInfo_->columnName[f] = it->second;
        }
    }
    Result idx = conn_->exec("select array_to_string(indkey, ' ') from pg_index where indrelid = $1::oid and "
                             "indisunique and indpred is null and indexprs is null "
                             "order by indisprimary desc, indexrelid limit 1",
                             {&oid});
    if (PQntuples(idx.get()) == 1) {
        std::vector<int> keyCols;
        std::string keys = PQgetvalue(idx.get(), 0, 0);
        size_t pos = 0;
        bool all = true;
        while (pos < keys.size()) {
            size_t sp = keys.find(' ', pos);
            int att = std::atoi(keys.substr(pos, sp - pos).c_str());
            pos = sp == std::string::npos ? keys.size() : sp + 1;
            auto name = attName.find(att);
            int found = -1;
            for (size_t f = 0; name != attName.end() && f < fields_.size(); ++f)
                if (tableInfo_->columnName[f] == name->second) found = int(f);
            if (found < 0) { all = false; break; }
            keyCols.push_back(found);
        }
        if (all && !keyCols.empty()) tableInfo_->keyFields = keyCols;
    }
}

void Query::post() {
    if (state_ != State::Edit) return;
    if (pending_.empty()) {
        state_ = State::Browse;
        return;
    }
    unsigned tableOid = PQftable(result_.get(), resultCol_[pending_.begin()->first]);
    if (tableOid == InvalidOid) fail(QStringLiteral("Field '%1' cannot be modified").arg(fields_[pending_.begin()->first].name));
    if (!tableInfo_ || tableInfo_->oid != tableOid) loadTableInfo(tableOid);

    std::vector<Param> values;
    values.reserve(pending_.size() + fields_.size());
    std::string sql = "UPDATE " + tableInfo_->name + " SET ";
    bool firstSet = true;
    for (const auto& [col, value] : pending_) {
        const std::string& column = tableInfo_->columnName[col];
        if (column.empty()) fail(QStringLiteral("Field '%1' cannot be modified").arg(fields_[col].name));
        Param p(fields_[col].name, ParamType::Text);
        p.setRawText(value);
        values.push_back(std::move(p));
        sql += (firstSet ? "" : ", ") + quoteIdent(column) + " = $" + std::to_string(values.size());
        firstSet = false;
    }
    // The record as it was read: by the unique index when there is one, else by every column of the
    // table that the dataset carries.
    std::vector<int> where = tableInfo_->keyFields;
    if (where.empty())
        for (size_t f = 0; f < fields_.size(); ++f)
            if (!tableInfo_->columnName[f].empty()) where.push_back(int(f));
    sql += " WHERE ";
    bool firstWhere = true;
    for (int col : where) {
        sql += firstWhere ? "" : " AND ";
        firstWhere = false;
        const std::string& column = quoteIdent(tableInfo_->columnName[col]);
        const std::optional<std::string>* replaced = overlay_.find(cur_, col);
        bool null = replaced ? !replaced->has_value() : PQgetisnull(result_.get(), cur_, resultCol_[col]);
        if (null) {
            sql += column + " IS NULL";
            continue;
        }
        // The old value: overlay first (an earlier post), then the result.
        std::string old;
        if (replaced)
            old = **replaced;
        else
            old.assign(PQgetvalue(result_.get(), cur_, resultCol_[col]), PQgetlength(result_.get(), cur_, resultCol_[col]));
        Param p(fields_[col].name, ParamType::Text);
        p.setRawText(old);
        values.push_back(std::move(p));
        sql += column + " = $" + std::to_string(values.size());
    }
    std::vector<const Param*> bound;
    for (const Param& p : values) bound.push_back(&p);
    // An UPDATE that would touch other than exactly one row is undone, not just reported: the message alone
    // would leave several rows (or a row someone else changed) overwritten.
    Connection::Hold hold(*conn_);
    conn_->exec("BEGIN");
    int changed = 0;
    try {
        Result r = conn_->exec(sql, bound);
        const char* tuples = PQcmdTuples(r.get());
        changed = tuples && *tuples ? std::atoi(tuples) : 0;
        conn_->exec(changed == 1 ? "COMMIT" : "ROLLBACK");
    } catch (...) {
        if (conn_->isConnected()) {
            try { conn_->exec("ROLLBACK"); } catch (...) {}
        }
        throw;
    }
    if (changed != 1) throw AppError(QStringLiteral("Update failed. Found %1 records").arg(changed));
    for (auto& [col, value] : pending_) overlay_.set(rows_, int(fields_.size()), cur_, col, value);
    pending_.clear();
    state_ = State::Browse;
    emit rowsChanged(cur_, cur_);
}

bool Query::refreshCurrentKey() {
    int keyCol = fieldIndex(keyField_);
    if (!isActive() || keyCol < 0 || cur_ < 0 || isNull(cur_, keyCol)) {
        if (isActive()) refresh();
        return false;
    }
    if (state_ == State::Edit) post();
    const std::string key(rawValue(cur_, keyCol));
    // The records with this key next to the current one (the list keeps equal keys together).
    int firstRow = cur_, lastRow = cur_;
    while (firstRow > 0 && !isNull(firstRow - 1, keyCol) && rawValue(firstRow - 1, keyCol) == key) --firstRow;
    while (lastRow + 1 < rows_ && !isNull(lastRow + 1, keyCol) && rawValue(lastRow + 1, keyCol) == key) ++lastRow;

    applyMaster();
    Param keyParam(keyField_, ParamType::Text);
    keyParam.setRawText(key);
    std::vector<const Param*> bound;
    std::string sql;
    if (keyRecordSql_) {
        sql = keyRecordSql_->sql;
        for (const QString& name : keyRecordSql_->paramNames) {
            if (name == keyField_) {
                bound.push_back(&keyParam);
                continue;
            }
            const Param* p = nullptr;
            for (const Param& own : params_)
                if (own.name() == name) p = &own;
            if (!p) fail(QStringLiteral("Parameter '%1' not found").arg(name));
            bound.push_back(p);
        }
    } else {
        std::string own = parsed_.sql;
        while (!own.empty() && (own.back() == ';' || own.back() == ' ' || own.back() == '\n' || own.back() == '\r'))
            own.pop_back();
        bound = boundParams();
        bound.push_back(&keyParam);
        sql = "select * from (\n" + own + "\n) as q where q." + quoteIdent(keyField_.toStdString()) + " = $" +
              std::to_string(bound.size());
    }
    Result r = conn_->execPrepared(sql, bound);
    const int n = PQntuples(r.get());
    if (n != lastRow - firstRow + 1) {
        refresh();
        return false;
    }
    for (int i = 0; i < n; ++i) {
        for (size_t f = 0; f < fields_.size(); ++f) {
            int c = PQfnumber(r.get(), ("\"" + fields_[f].name.toStdString() + "\"").c_str());
            if (c < 0) {
                refresh();
                return false;
            }
            std::optional<std::string> v;
            if (!PQgetisnull(r.get(), i, c)) v = std::string(PQgetvalue(r.get(), i, c), PQgetlength(r.get(), i, c));
            overlay_.set(rows_, int(fields_.size()), firstRow + i, int(f), std::move(v));
        }
    }
    emit rowsChanged(firstRow, lastRow);
    return true;
}

// ---------------------------------------------------------------- StoredProc

StoredProc::StoredProc(const QString& name, Connection* connection, QObject* parent)
    : QObject(parent), conn_(connection) {
    setObjectName(name);
}

void StoredProc::setSql(const QString& sql) {
    parsed_ = parseNamedParams(sql.toStdString());
    params_.clear();
    for (const QString& n : parsed_.paramNames) params_.emplace_back(n, ParamType::Text);
}

void StoredProc::declareParam(const QString& name, ParamType type) {
    for (Param& p : params_)
        if (p.name() == name) p = Param(name, type);
}

Param& StoredProc::paramByName(const QString& name) {
    for (Param& p : params_)
        if (p.name() == name) return p;
    throw AppError(objectName() + QStringLiteral(": Parameter '%1' not found").arg(name));
}

void StoredProc::execute() {
    std::vector<const Param*> bound;
    for (const Param& p : params_) bound.push_back(&p);
    conn_->exec(parsed_.sql, bound);
}

}  // namespace qv::pg

#include "signin/memtable.h"

#include <QEvent>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QSaveFile>

#include "platform/error.h"

namespace qv::signin {

namespace {
const QByteArray kBom("\xEF\xBB\xBF");
const QString kTop = QStringLiteral("FDBS");
}  // namespace

MemTable::MemTable(const QString& name, QObject* parent) : QObject(parent) { setObjectName(name); }

void MemTable::addField(const QString& name, int size) { fields_.push_back({name, size}); }

QStringList MemTable::fieldNames() const {
    QStringList names;
    for (const Field& f : fields_) names << f.name;
    return names;
}

int MemTable::fieldIndex(const QString& name) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name == name) return int(i);
    throw AppError(objectName() + QStringLiteral(": Field '") + name + QStringLiteral("' not found"));
}

QString MemTable::fit(int field, const QString& value) const {
    const int size = fields_[size_t(field)].size;
    if (value.size() <= size) return value;
    qsizetype cut = size;
    // Never keep half of a character that needs two UTF-16 units.
    if (cut > 0 && value.at(cut - 1).isHighSurrogate()) --cut;
    return value.left(cut);
}

void MemTable::requireActive() const {
    if (!isActive()) throw AppError(objectName() + QStringLiteral(": Cannot perform this operation on a closed dataset"));
}

void MemTable::open() {
    if (isActive()) return;
    rows_.clear();
    cur_ = -1;
    state_ = State::Browse;
}

void MemTable::close() {
    if (!isActive()) return;
    rows_.clear();
    buffer_.clear();
    cur_ = -1;
    state_ = State::Inactive;
    emit recordChanged();
}

QString MemTable::value(const QString& field) const {
    const int i = fieldIndex(field);
    if (state_ == State::Edit || state_ == State::Insert) return buffer_.at(i);
    if (cur_ < 0) return QString();
    return rows_[size_t(cur_)].at(i);
}

void MemTable::edit() {
    requireActive();
    if (state_ != State::Browse) return;
    if (rows_.empty()) {
        buffer_ = QStringList();
        for (size_t i = 0; i < fields_.size(); ++i) buffer_ << QString();
        state_ = State::Insert;
    } else {
        buffer_ = rows_[size_t(cur_)];
        state_ = State::Edit;
    }
}

void MemTable::setValue(const QString& field, const QString& value) {
    const int i = fieldIndex(field);
    edit();
    buffer_[i] = fit(i, value);
}

void MemTable::post() {
    if (state_ != State::Edit && state_ != State::Insert) return;
    emit beforePost();
    if (state_ == State::Insert) {
        rows_.push_back(buffer_);
        cur_ = int(rows_.size()) - 1;
    } else {
        rows_[size_t(cur_)] = buffer_;
    }
    buffer_.clear();
    state_ = State::Browse;
}

void MemTable::cancel() {
    if (state_ != State::Edit && state_ != State::Insert) return;
    buffer_.clear();
    state_ = State::Browse;
    emit recordChanged();
}

QByteArray MemTable::toJson() {
    QJsonArray fields;
    for (const Field& f : fields_)
        fields.append(QJsonObject{{QStringLiteral("name"), f.name}, {QStringLiteral("size"), f.size}});
    QJsonArray rows;
    for (const QStringList& r : rows_) {
        QJsonObject row;
        for (size_t i = 0; i < fields_.size(); ++i) row.insert(fields_[i].name, r.at(qsizetype(i)));
        rows.append(row);
    }
    const QJsonObject table{{QStringLiteral("table"), objectName()},
                            {QStringLiteral("fields"), fields},
                            {QStringLiteral("rows"), rows}};
    return QJsonDocument(QJsonObject{{kTop, table}}).toJson(QJsonDocument::Compact);
}

bool MemTable::fromJson(const QByteArray& bytes) {
    QByteArray text = bytes;
    if (text.startsWith(kBom)) text.remove(0, kBom.size());
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonObject top = doc.object();
    if (top.size() != 1 || !top.value(kTop).isObject()) return false;
    const QJsonValue rowsValue = top.value(kTop).toObject().value(QStringLiteral("rows"));
    if (!rowsValue.isArray()) return false;

    std::vector<QStringList> rows;
    for (const QJsonValue& rv : rowsValue.toArray()) {
        if (!rv.isObject()) return false;
        const QJsonObject ro = rv.toObject();
        QStringList row;
        for (size_t i = 0; i < fields_.size(); ++i) {
            const QJsonValue v = ro.value(fields_[i].name);
            if (v.isString())
                row << fit(int(i), v.toString());
            else if (v.isUndefined() || v.isNull())
                row << QString();
            else
                return false;
        }
        rows.push_back(row);
    }
    rows_ = std::move(rows);
    return true;
}

void MemTable::saveToFile(const QString& path) {
    post();
    const QByteArray bytes = kBom + toJson();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
}

bool MemTable::loadFromFile(const QString& path) {
    buffer_.clear();
    QFile file(path);
    const bool ok = file.open(QIODevice::ReadOnly) && fromJson(file.readAll());
    if (!ok) rows_.clear();
    cur_ = rows_.empty() ? -1 : 0;
    state_ = State::Browse;
    emit recordChanged();
    return ok;
}

// ---------------------------------------------------------------- EditLink

EditLink::EditLink(QLineEdit* edit, MemTable* table, const QString& field)
    : QObject(edit), edit_(edit), table_(table), field_(field) {
    connect(table_, &MemTable::recordChanged, this, &EditLink::show);
    connect(table_, &MemTable::beforePost, this, &EditLink::push);
    // Any change of the text that the link did not make itself counts as typing.
    connect(edit_, &QLineEdit::textChanged, this, &EditLink::typed);
    edit_->installEventFilter(this);
    show();
}

bool EditLink::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::FocusOut) push();
    return false;
}

void EditLink::show() {
    showing_ = true;
    edit_->setText(table_->isActive() ? table_->value(field_) : QString());
    showing_ = false;
    modified_ = false;
}

void EditLink::typed() {
    if (showing_) return;
    // Text typed before anything opened the table starts its first record rather than being lost.
    if (!table_->isActive()) table_->open();
    table_->edit();
    modified_ = true;
}

void EditLink::push() {
    if (!modified_) return;
    modified_ = false;
    table_->setValue(field_, edit_->text());
}

}  // namespace qv::signin

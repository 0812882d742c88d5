// A small in-memory table of text fields, saved as a JSON file, and the two-way link that ties an edit box
// to one of its fields. The sign-in keeps the company and user typed last in one of these.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class QLineEdit;

namespace qv::signin {

class MemTable : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit MemTable(const QString& name, QObject* parent = nullptr);

    // A Unicode text field of at most `size` characters; longer values are cut to that length.
    void addField(const QString& name, int size);
    QStringList fieldNames() const;

    void open();    // an empty table until something is loaded or typed; what linked boxes show stays
    void close();   // drops the records
    bool isActive() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    int recordCount() const { return int(rows_.size()); }
    int recNo() const { return cur_; }   // -1 when there is no current record

    // The current record's value (as being edited); empty when there is no current record.
    QString value(const QString& field) const;
    // Starts editing the current record, or appends one when the table is empty.
    void edit();
    // Writes a field of the current record, starting an edit when none is under way.
    void setValue(const QString& field, const QString& value);
    // Lets linked boxes write their text, then commits the record being edited or appended.
    void post();
    void cancel();

    // The file: UTF-8 with a byte-order mark, one top-level member "FDBS" holding our layout. Posts first.
    // Written to a temporary file that replaces the old one only once complete. Throws AppError when the file
    // cannot be written.
    void saveToFile(const QString& path);
    // Replaces the records with the file's and leaves the table open on the first one. A file that cannot be
    // read or is not ours leaves the table open and empty; returns false then.
    bool loadFromFile(const QString& path);

    QByteArray toJson();
    bool fromJson(const QByteArray& bytes);

signals:
    void beforePost();      // linked boxes write their pending text now
    void recordChanged();   // what linked boxes show is out of date (open, load, cancel, close)

private:
    int fieldIndex(const QString& name) const;
    QString fit(int field, const QString& value) const;
    void requireActive() const;

    struct Field {
        QString name;
        int size;
    };
    std::vector<Field> fields_;
    std::vector<QStringList> rows_;
    QStringList buffer_;   // the record being edited or appended
    int cur_ = -1;
    State state_ = State::Inactive;
};

// Ties an edit box to a field of the table's current record, both ways: the box shows the field, and text
// typed into the box reaches the field when the box loses the focus or when the table posts. Typing into an
// empty table starts a record.
class EditLink : public QObject {
    Q_OBJECT
public:
    EditLink(QLineEdit* edit, MemTable* table, const QString& field);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show();
    void typed();
    void push();

    QLineEdit* edit_;
    MemTable* table_;
    QString field_;
    bool showing_ = false;
    bool modified_ = false;
};

}  // namespace qv::signin

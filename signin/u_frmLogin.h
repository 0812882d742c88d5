// The sign-in dialog: finds the company's QEM database through the directory, points conQem at it, checks
// the user, the password and the program's rights, and fills the sign-in fields of dmCon.
#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qv::pg {
class Query;
}
namespace qv::signin {
class MemTable;
}

class TfrmLogin : public QDialog {
    Q_OBJECT
    // The name the program goes by in aplicatie_mob and in the messages: the running executable's unless
    // set (test programs have names of their own).
    Q_PROPERTY(QString applicationName READ applicationName WRITE setApplicationName)
public:
    // dmCon must exist: the directory query runs on its conQemMob.
    explicit TfrmLogin(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* Edit1;   // company
    QLineEdit* Edit2;   // user name
    QLineEdit* Edit3;   // password
    QPushButton* Button1;

    qv::pg::Query* dsQemMobil;     // the company's row of the directory
    qv::signin::MemTable* dsLogin; // the company and user typed last

    QString applicationName() const;
    void setApplicationName(const QString& name) { applicationName_ = name; }

    // The remembered sign-in file in the user's application-data folder.
    static QString loginFilePath();

    void FormShow();
    // The whole sign-in; closes the dialog with OK when it succeeds, throws with the user's message when not.
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::optional<QString> applicationName_;
    bool shownBefore_ = false;
    QWidget* lastFocus_ = nullptr;
};

extern TfrmLogin* frmLogin;

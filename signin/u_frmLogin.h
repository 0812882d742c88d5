// The sign-in dialog.
#pragma once

#include <QDialog>

class TfrmLogin : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLogin(QWidget* parent = nullptr);
};

extern TfrmLogin* frmLogin;

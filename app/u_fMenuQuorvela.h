// The main window: "Login" until a sign-in succeeds, then the menu that opens the import window.
#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;

class TfMenuQuorvela : public QWidget {
    Q_OBJECT
public:
    explicit TfMenuQuorvela(QWidget* parent = nullptr);

    QFrame* PanelLogin;
    QLabel* Label1;
    QPushButton* ButtonLogin;
    QFrame* PanelMenu;
    QLabel* Label2;
    QLabel* LabelDataBase;
    QLabel* LabelUser;
    QFrame* Shape1;
    QPushButton* ButtonImportFact;

    void FormCreate();
    void ButtonLoginClick();
    void ButtonImportFactClick();
};

extern TfMenuQuorvela* fMenuQuorvela;

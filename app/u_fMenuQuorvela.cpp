#include "app/u_fMenuQuorvela.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "data/u_dmCon.h"
#include "import/u_fQuorvelaImportFactCI.h"
#include "platform/ui/ui.h"
#include "signin/u_frmLogin.h"

TfMenuQuorvela* fMenuQuorvela = nullptr;

using namespace qv::ui;

namespace {
// A right-anchored caption placed for the Windows font: where the font at hand is wider, the caption moves
// left to stay whole inside the window instead of running off its edge.
void keepInside(QLabel* l, int parentWidth) {
    if (l->geometry().right() >= parentWidth) l->move(std::max(0, parentWidth - l->width()), l->y());
}

QLabel* navyLabel(const char* name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 128));
    l->setPalette(p);
    return l;
}
}  // namespace

TfMenuQuorvela::TfMenuQuorvela(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fMenuQuorvela"));
    setWindowTitle(QStringLiteral("fMenuQuorvela"));
    setFont(QFont(QStringLiteral("Segoe UI"), 9));
    setClientSize(this, 351, 295);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PanelLogin = new QFrame(this);
    PanelLogin->setObjectName(QStringLiteral("PanelLogin"));
    PanelLogin->setFixedHeight(46);
    PanelLogin->resize(351, 46);
    // At the top whether or not the menu below it shows.
    layout->addWidget(PanelLogin, 0, Qt::AlignTop);
    Label1 = navyLabel("Label1", QStringLiteral("wQuorvela v. 2025.07.01"), PanelLogin);
    place(Label1, 209, 0);
    keepInside(Label1, 351);
    anchor(Label1, AnchorTop | AnchorRight);
    ButtonLogin = new QPushButton(QStringLiteral("Login"), PanelLogin);
    ButtonLogin->setObjectName(QStringLiteral("ButtonLogin"));
    place(ButtonLogin, 16, 8, 75, 30);

    PanelMenu = new QFrame(this);
    PanelMenu->setObjectName(QStringLiteral("PanelMenu"));
    PanelMenu->resize(351, 295 - 46);
    layout->addWidget(PanelMenu, 1);
    Label2 = navyLabel("Label2", QStringLiteral("wQuorvela v. 2025.07.01"), PanelMenu);
    place(Label2, 209, 8);
    keepInside(Label2, 351);
    anchor(Label2, AnchorTop | AnchorRight);
    LabelDataBase = navyLabel("LabelDataBase", QString(), PanelMenu);
    LabelDataBase->setWordWrap(true);
    LabelDataBase->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(LabelDataBase, 6, 2, 81, 17);
    LabelUser = navyLabel("LabelUser", QString(), PanelMenu);
    place(LabelUser, 6, 23);
    Shape1 = new QFrame(PanelMenu);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setStyleSheet(QStringLiteral("background-color: silver; border: none;"));
    place(Shape1, 0, 44, 511, 2);
    anchor(Shape1, AnchorLeft | AnchorTop | AnchorRight);
    ButtonImportFact = new QPushButton(QStringLiteral("Import facturi client"), PanelMenu);
    ButtonImportFact->setObjectName(QStringLiteral("ButtonImportFact"));
    place(ButtonImportFact, 16, 64, 121, 25);

    connect(ButtonLogin, &QPushButton::clicked, this, &TfMenuQuorvela::ButtonLoginClick);
    connect(ButtonImportFact, &QPushButton::clicked, this, &TfMenuQuorvela::ButtonImportFactClick);
    FormCreate();
}

void TfMenuQuorvela::FormCreate() { PanelMenu->hide(); }

void TfMenuQuorvela::ButtonLoginClick() {
    if (frmLogin->exec() != QDialog::Accepted) return;
    PanelLogin->hide();
    PanelMenu->show();
    LabelDataBase->setText(dmCon->glDataBase);
    // A long name wraps at the label's width and the label grows downward.
    LabelDataBase->setFixedHeight(LabelDataBase->heightForWidth(81));
    LabelUser->setText(QStringLiteral("User ") + dmCon->glUser);
    LabelUser->adjustSize();
}

void TfMenuQuorvela::ButtonImportFactClick() {
    fQuorvelaImportFactCI->show();
    fQuorvelaImportFactCI->raise();
    fQuorvelaImportFactCI->activateWindow();
}

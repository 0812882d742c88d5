#include "road.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/startup.h"
#include "app/u_fMenuQuorvela.h"
#include "data/u_dmCon.h"
#include "platform/ui/ui.h"
#include "signin/u_frmLogin.h"

namespace qvtest {

Road::Road(const std::vector<std::string>& simulatorOptions) : simulator(simulatorOptions) {
    world.qem.exec("update config_quorvela set base_url_quorvela = '" + simulator.url() + "'");
    qv::ui::setMessageSink([this](const QString&, const QString& text) { messages << text; });
    qv::ui::setFileOpener([](const QString&) { return false; });
    createApplicationObjects();
    dmCon->conQemMob->setServer(QString::fromStdString(world.directory.server().host));
    dmCon->conQemMob->setPort(world.directory.server().port);
    dmCon->conQemMob->setDatabase(QString::fromStdString(world.directory.name()));
    frmLogin->setApplicationName(QStringLiteral("wquorvela"));
}

Road::~Road() {
    destroyApplicationObjects();
    qv::ui::setMessageSink({});
    qv::ui::setFileOpener({});
}

int Road::signIn(const QString& password) {
    int result = -1;
    QTimer::singleShot(0, frmLogin, [&] {
        frmLogin->Edit1->setText(QStringLiteral("Demo Turism SRL"));
        frmLogin->Edit2->setText(QStringLiteral("contabil"));
        frmLogin->Edit3->setText(password);
        QTest::mouseClick(frmLogin->Button1, Qt::LeftButton);
        if (frmLogin->isVisible()) frmLogin->reject();   // a failed attempt leaves it open: end the test's wait
    });
    QTest::mouseClick(fMenuQuorvela->ButtonLogin, Qt::LeftButton);
    result = frmLogin->result();
    return result;
}

}  // namespace qvtest

// Runs the program on a real X server (Xvfb under scripts/screenshots), signs in to a demo company of its
// own, opens the import window with rows, and saves what the screen shows of the main window, the sign-in
// dialog and the import window as PNG files. Then it reads them back and checks that each is a whole
// window, not a blank rectangle.
//   qv_screenshots <folder>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QLineEdit>

#include <cstdio>

#include "app/u_fMenuQuorvela.h"
#include "data/u_dmCon.h"
#include "import/u_fQuorvelaImportFactCI.h"
#include "platform/grid/datagrid.h"
#include "platform/grid/parts.h"
#include "platform/ui/ui.h"
#include "road.h"
#include "signin/u_frmLogin.h"

namespace {

QString folder;
int failures = 0;

void settle() {
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(50);
    }
}

// What the X server shows of the window, saved and then checked.
void shoot(QWidget* w, const QString& name) {
    settle();
    const QPixmap shot = w->screen()->grabWindow(w->winId());
    const QString path = folder + QLatin1Char('/') + name;
    if (!shot.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    const QImage img(path);
    const QSize want = w->size();
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3) colours.insert(img.pixel(x, y));
    const bool sized = img.size() == want * w->devicePixelRatio();
    const bool drawn = colours.size() >= 8;
    std::printf("%-28s %4dx%-4d %5lld colours  %s\n", qPrintable(name), img.width(), img.height(),
                qlonglong(colours.size()), sized && drawn ? "ok" : "NOT A WINDOW");
    if (!sized || !drawn) ++failures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qv_screenshots <folder>\n");
        return 2;
    }
    qv::ui::Application app(argc, argv);
    folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(folder);
    if (!qvtest::haveServers()) {
        std::fprintf(stderr, "no test servers: run it through scripts/screenshots\n");
        return 2;
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qvtest::Road road({"--b2b-count", "40", "--b2c-count", "25", "--refuse-every", "9"});

    fMenuQuorvela->move(20, 20);
    fMenuQuorvela->show();
    shoot(fMenuQuorvela, QStringLiteral("main-window.png"));

    // The dialog is modal: shoot it from inside its own event loop, then sign in.
    QTimer::singleShot(0, frmLogin, [] {
        frmLogin->Edit1->setText(QStringLiteral("Demo Turism SRL"));
        frmLogin->Edit2->setText(QStringLiteral("contabil"));
        frmLogin->Edit3->setText(QStringLiteral("Quorvela-2025"));
        frmLogin->move(400, 40);
        shoot(frmLogin, QStringLiteral("sign-in.png"));
        QTest::mouseClick(frmLogin->Button1, Qt::LeftButton);
        if (frmLogin->isVisible()) frmLogin->reject();
    });
    QTest::mouseClick(fMenuQuorvela->ButtonLogin, Qt::LeftButton);
    if (frmLogin->result() != QDialog::Accepted) {
        std::fprintf(stderr, "sign-in failed: %s\n", qPrintable(road.messages.join(QLatin1Char('\n'))));
        return 1;
    }
    shoot(fMenuQuorvela, QStringLiteral("main-window-signed-in.png"));

    QTest::mouseClick(fMenuQuorvela->ButtonImportFact, Qt::LeftButton);
    TfQuorvelaImportFactCI* w = fQuorvelaImportFactCI;
    w->move(0, 0);
    QTest::mouseClick(w->ButtonPreiaFactQuorvela, Qt::LeftButton);
    w->cxGrid1->view()->focusFirst();
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(w->ButtonMutaFactCurenta, Qt::LeftButton);
        w->cxGrid1->view()->focusNext();
    }
    shoot(w, QStringLiteral("import-window.png"));
    if (!road.messages.isEmpty()) {
        std::fprintf(stderr, "messages: %s\n", qPrintable(road.messages.join(QLatin1Char('\n'))));
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}

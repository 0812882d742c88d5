// Times "Muta toate facturile in QEM" in the real import window. Usage:
//   qv_bench_move_all <host> <port> <database> [--only-without-document] [--hidden] [--stop-after K]
// Prints the seconds the whole-list move took and how many invoices it moved.
#include <QElapsedTimer>
#include <QPlainTextEdit>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/startup.h"
#include "data/u_dmCon.h"
#include "import/u_fQuorvelaImportFactCI.h"
#include "platform/grid/datagrid.h"
#include "platform/grid/parts.h"
#include "platform/pg/pg.h"
#include "platform/ui/ui.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: qv_bench_move_all <host> <port> <database> [--only-without-document]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qv::ui::Application app(argc, argv);
    int failures = 0;
    qv::ui::setMessageSink([&](const QString&, const QString& text) {
        ++failures;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    });
    createApplicationObjects();
    dmCon->conQem->setServer(QString::fromUtf8(argv[1]));
    dmCon->conQem->setPort(std::atoi(argv[2]));
    dmCon->conQem->setDatabase(QString::fromUtf8(argv[3]));
    dmCon->conQem->setSslMode(qv::pg::SslMode::Prefer);
    dmCon->glUser = QStringLiteral("contabil");
    TfQuorvelaImportFactCI* w = fQuorvelaImportFactCI;
    // --hidden: the same work without a window to paint, to tell painting from the rest.
    // --stop-after K: press "Opreste" once K invoices moved (two runs that differ only in K give the cost
    // of one more invoice, without the list reads that every run pays once).
    bool hidden = false, onlyWithout = false;
    int stopAfter = 0;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hidden") == 0) hidden = true;
        if (std::strcmp(argv[i], "--only-without-document") == 0) onlyWithout = true;
        if (std::strcmp(argv[i], "--stop-after") == 0 && i + 1 < argc) stopAfter = std::atoi(argv[++i]);
    }
    if (!hidden) w->show();
    qv::ui::guarded([&] { w->ButtonFactPreluateClick(); });
    if (onlyWithout) {
        qv::grid::GridView* view = w->cxGrid1->view();
        view->setHeaderFilter(view->columnIndex(QStringLiteral("nr_doc_qem")), {}, true);
    }
    const int listed = w->dsLogQuorvela->recordCount();
    int toMove = w->cxGrid1->view()->filteredRecordCount();
    int seen = 0;
    if (stopAfter > 0) {
        toMove = std::min(toMove, stopAfter);
        QObject::connect(w->Memo1, &QPlainTextEdit::textChanged, [&] {
            if (w->isMovingAll() && ++seen == stopAfter) w->ButtonOpresteMutareaClick();
        });
    }
    QElapsedTimer t;
    t.start();
    qv::ui::guarded([&] { w->ButtonMutaToateFacturileClick(); });
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    const int moved = int(w->Memo1->toPlainText().count(QStringLiteral("S-a importat factura")));
    std::printf("%.3f %d %d %d\n", seconds, moved, toMove, listed);
    destroyApplicationObjects();
    return failures == 0 && moved == toMove ? 0 : 1;
}

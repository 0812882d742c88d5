// Driver for bench/grid/run: the import list (the same query and declared fields as the import window) in
// a data grid, offscreen.
//
//   bench_grid_driver open <host> <port> <db> <user> <password>
//       one opening of the list, connection included, until the grid has painted; prints open_ms, the
//       heap the open list holds (rows, caches, view) and, for comparison, the rows alone, and the bytes of
//       the result's text
//   bench_grid_driver ui <host> <port> <db> <user> <password> <rounds>
//       filter-row keystrokes and header-click sorts on the open list, each against its baseline measured
//       in the same process: a loop of QString::startsWith over the same values, std::sort of them
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/grid/datagrid.h"
#include "import/list_query.h"
#include "platform/grid/parts.h"
#include "platform/pg/pg.h"

using namespace qv;

namespace {


struct Column { const char* name; pg::FieldType type; int size; int width; };
const Column kColumns[] = {
    {"id_fact", pg::FieldType::LargeInt, 0, 97},        {"data_preluare_json", pg::FieldType::DateTime, 0, 140},
    {"err_la_import", pg::FieldType::Memo, 0, 257},     {"api_end_point", pg::FieldType::String, 3, 91},
    {"data_doc_json", pg::FieldType::Date, 0, 100},     {"nr_doc_json", pg::FieldType::Memo, 0, 100},
    {"partener_json", pg::FieldType::Memo, 0, 100},     {"data_doc_qem", pg::FieldType::Date, 0, 100},
    {"tip_doc_qem", pg::FieldType::String, 7, 100},     {"nr_doc_qem", pg::FieldType::String, 15, 100},
    {"partener_qem", pg::FieldType::String, 100, 100},
};

long long heapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long long>(m.uordblks + m.hblkhd);
}

double ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Setup {
    pg::Connection con{QStringLiteral("conQem")};
    pg::Query list{QStringLiteral("dsLogQuorvela"), &con};
    grid::DataGrid grid;
    QElapsedTimer gridClock;   // from the rows' arrival to the grid's caches built
    double gridMs = 0;

    Setup(char** argv) {
        con.setServer(QString::fromUtf8(argv[2]));
        con.setPort(std::atoi(argv[3]));
        con.setDatabase(QString::fromUtf8(argv[4]));
        con.setUsername(QString::fromUtf8(argv[5]));
        con.setPassword(QString::fromUtf8(argv[6]));
        con.setSslMode(pg::SslMode::Prefer);
        con.setDisconnectedMode(true);   // as the program's QEM connection
        list.setSql(qv::import::listQuerySql());
        for (const Column& c : kColumns) list.declareField(QString::fromLatin1(c.name), c.type, c.size);
        list.setReadOnly(true);
        list.setKeyField(QStringLiteral("id_fact"));
        // Slots run in the order they were connected: these two bracket the grid's own.
        QObject::connect(&list, &pg::Query::opened, [this] { gridClock.start(); });
        grid.resize(1268, 479);
        grid.setGridStyleSheet(grid::devExpressStyleSheet());
        grid.view()->setDataSet(&list);
        QObject::connect(&list, &pg::Query::opened, [this] { gridMs = ms(gridClock); });
        for (const Column& c : kColumns) grid.view()->setColumnWidth(QString::fromLatin1(c.name), c.width);
        grid.show();
        QApplication::processEvents();
    }
};

int openMode(char** argv) {
    Setup s(argv);
    const long long before = heapInUse();
    QElapsedTimer t;
    t.start();
    s.list.open();
    QApplication::processEvents();   // the grid paints
    const double openMs = ms(t);
    const double cachesMs = s.gridMs;
    const long long withGrid = heapInUse() - before;

    long long textBytes = 0;
    for (int r = 0; r < s.list.recordCount(); ++r)
        for (int c = 0; c < int(s.list.fields().size()); ++c)
            if (!s.list.isNull(r, c)) textBytes += static_cast<long long>(s.list.rawValue(r, c).size());

    // The rows alone, for the split: the same open without a grid.
    s.list.close();
    s.grid.view()->setDataSet(nullptr);
    QApplication::processEvents();
    const long long before2 = heapInUse();
    s.list.open();
    const long long rowsOnly = heapInUse() - before2;

    std::printf("open_ms=%.1f grid_ms=%.1f rows=%d text_bytes=%lld list_bytes=%lld result_bytes=%lld\n", openMs,
                cachesMs, s.list.recordCount(), textBytes, withGrid, rowsOnly);
    return 0;
}

void sendKey(QWidget* w, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

void click(QWidget* w, QPoint p) {
    const QPointF lp(p), gp(w->mapToGlobal(p));
    QMouseEvent press(QEvent::MouseButtonPress, lp, gp, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, lp, gp, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

int uiMode(char** argv) {
    Setup s(argv);
    const int rounds = std::max(1, std::atoi(argv[7]));
    s.list.open();
    QApplication::processEvents();
    grid::GridView* view = s.grid.view();
    const int col = view->columnIndex(QStringLiteral("partener_json"));
    const int n = s.list.recordCount();

    // The same values as QStrings, as a program that kept them so would hold them.
    std::vector<QString> values;
    values.reserve(size_t(n));
    for (int r = 0; r < n; ++r) {
        const std::string_view v = s.list.rawValue(r, col);
        values.push_back(QString::fromUtf8(v.data(), qsizetype(v.size())));
    }
    auto startsWithLoop = [&](const QString& text) {
        QElapsedTimer t;
        t.start();
        int hits = 0;
        for (const QString& v : values) hits += v.startsWith(text, Qt::CaseInsensitive) ? 1 : 0;
        const double e = ms(t);
        if (hits < 0) std::puts("");   // keeps the loop
        return e;
    };

    QLineEdit* edit = view->filterEditor(col);
    struct Stroke { int key; const char* text; const char* shown; };
    // Typing "al" (one buyer name in ten begins with "a"), then taking it back.
    const Stroke strokes[] = {{Qt::Key_A, "a", "a"}, {Qt::Key_L, "l", "al"}, {Qt::Key_Backspace, "", "a"},
                              {Qt::Key_Backspace, "", ""}};
    std::vector<double> base[4], mine[4];
    int shownAfter[4] = {};
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 4; ++k) {
            const QString typed = QString::fromUtf8(strokes[k].shown);
            const QString probe = typed.isEmpty() ? QStringLiteral("a") : typed;
            // Alternate which side runs first, so that neither always finds the caches warm.
            if (r % 2 == 0) base[k].push_back(startsWithLoop(probe));
            QElapsedTimer t;
            t.start();
            sendKey(edit, strokes[k].key, QString::fromUtf8(strokes[k].text));
            QApplication::processEvents();   // the view repaints
            mine[k].push_back(ms(t));
            if (r % 2 == 1) base[k].push_back(startsWithLoop(probe));
            shownAfter[k] = view->filteredRecordCount();
            if (edit->text() != typed) {
                std::fprintf(stderr, "filter text is '%s', expected '%s'\n", qPrintable(edit->text()), strokes[k].shown);
                return 1;
            }
        }
    }
    const char* names[] = {"type 'a'", "type 'l' (al)", "backspace (a)", "backspace (empty)"};
    for (int k = 0; k < 4; ++k)
        std::printf("keystroke name=\"%s\" shown=%d base_ms=%.2f grid_ms=%.2f\n", names[k], shownAfter[k],
                    median(base[k]), median(mine[k]));

    // Sorting by the buyer's name: a click on its header, the view repainted.
    QWidget* port = view->header()->viewport();
    const QPoint at(view->header()->sectionViewportPosition(col) + 15, view->header()->height() / 2);
    std::vector<double> sb, sm;
    auto sortBaseline = [&] {
        std::vector<QString> copy = values;
        QElapsedTimer t;
        t.start();
        std::sort(copy.begin(), copy.end(),
                  [](const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
        sb.push_back(ms(t));
    };
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) sortBaseline();
        QElapsedTimer t;
        t.start();
        click(port, at);
        QApplication::processEvents();
        sm.push_back(ms(t));
        if (r % 2 == 1) sortBaseline();
        if (view->sortKeys().empty() || view->sortKeys()[0].column != col) {
            std::fprintf(stderr, "the click did not sort by partener_json\n");
            return 1;
        }
    }
    std::printf("sort base_ms=%.2f grid_ms=%.2f\n", median(sb), median(sm));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    try {
        if (mode == QLatin1String("open") && argc >= 7) return openMode(argv);
        if (mode == QLatin1String("ui") && argc >= 8) return uiMode(argv);
    } catch (const AppError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: bench_grid_driver open|ui host port db user password [rounds]\n");
    return 2;
}

// The import window: the fetched invoices beside their QEM documents, the import log, and the buttons that
// fetch invoices from the back office and move them into QEM.
#pragma once

#include <QWidget>

#include <cstdint>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace qv::pg {
class Query;
class StoredProc;
}  // namespace qv::pg
namespace qv::grid {
class DataGrid;
}

class TfQuorvelaImportFactCI : public QWidget {
    Q_OBJECT
public:
    explicit TfQuorvelaImportFactCI(QWidget* parent = nullptr);
    ~TfQuorvelaImportFactCI() override;

    QLabel* Label2;
    QPushButton* ButtonFactPreluate;
    QPushButton* ButtonPreiaFactQuorvela;
    QPushButton* ButtonMutaFactCurenta;
    QPushButton* ButtonMutaToateFacturile;
    QPushButton* Button2;
    qv::grid::DataGrid* cxGrid1;
    QPlainTextEdit* Memo1;
    // While "move all" runs: how far it got, and a way to stop after the current invoice.
    QProgressBar* ProgressMutaToate;
    QPushButton* ButtonOpresteMutarea;

    qv::pg::Query* dsConfigQuorvela;
    qv::pg::Query* dsIdFactMax;
    qv::pg::Query* dsLogQuorvela;
    qv::pg::Query* dsLogQuorvelaUnu;
    qv::pg::StoredProc* o_quorvela_fact_ins;

    // The import log: one whole line at the end; the log is never cleared.
    void appendLog(const QString& line);

    void ButtonFactPreluateClick();
    void ButtonPreiaFactQuorvelaClick();
    void ButtonMutaFactCurentaClick();
    void ButtonMutaToateFacturileClick();
    void Button2Click();
    void ButtonOpresteMutareaClick();

    bool isMovingAll() const { return movingAll_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void openOrRefreshList();
    // Moves the invoice on the list's current row. With wholeList false only that invoice's rows are read
    // again afterwards (the "move all" loop refreshes the whole list once at its end).
    void moveCurrent(bool wholeList);
    void fetchChannel(const QString& channel);

    bool movingAll_ = false;
    bool stopRequested_ = false;
    bool shownOnce_ = false;
};

extern TfQuorvelaImportFactCI* fQuorvelaImportFactCI;

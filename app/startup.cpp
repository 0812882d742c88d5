#include "app/startup.h"

#include "app/u_fMenuQuorvela.h"
#include "data/u_dmCon.h"
#include "import/u_fProc_Quorvela.h"
#include "import/u_fQuorvelaImportFactCI.h"
#include "signin/u_frmLogin.h"

void createApplicationObjects() {
    // The main window first: closing it ends the program.
    fMenuQuorvela = new TfMenuQuorvela();
    // The windows below refer to the data module's connections, so it comes before them.
    dmCon = new TdmCon();
    frmLogin = new TfrmLogin(fMenuQuorvela);
    fQuorvelaImportFactCI = new TfQuorvelaImportFactCI();
    fProc_Quorvela = new TfProc_Quorvela(dmCon->conQem);
    fProc_Quorvela->setLog([](const QString& line) { fQuorvelaImportFactCI->appendLog(line); });
}

void destroyApplicationObjects() {
    delete fProc_Quorvela;
    fProc_Quorvela = nullptr;
    delete fQuorvelaImportFactCI;
    fQuorvelaImportFactCI = nullptr;
    delete frmLogin;
    frmLogin = nullptr;
    delete dmCon;
    dmCon = nullptr;
    delete fMenuQuorvela;
    fMenuQuorvela = nullptr;
}

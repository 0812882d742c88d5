// wQuorvela: pulls client invoices from the Quorvela back office into a company's QEM database.
#include <QApplication>

#include "app/startup.h"
#include "app/u_fMenuQuorvela.h"
#include "platform/ui/ui.h"

int main(int argc, char** argv) {
    qv::ui::Application app(argc, argv);
    app.setApplicationName(qv::ui::applicationName());
    createApplicationObjects();
    fMenuQuorvela->show();
    const int rc = app.exec();
    destroyApplicationObjects();
    return rc;
}

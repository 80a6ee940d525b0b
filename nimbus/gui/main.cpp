#include "allocationwarning.h"
#include "quitonsignals.h"
#include "selectfilewidget.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    nimbus::installAllocationWarning();
    nimbus::SelectFileWidget window;
    nimbus::quitOnTerminationSignals(window);
    window.show();
    return app.exec();
}

#include "allocationwarning.h"
#include "selectfilewidget.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    nimbus::installAllocationWarning();
    nimbus::SelectFileWidget window;
    window.show();
    return app.exec();
}

#include "allocationwarning.h"

#include "guicall.h"
#include "translation.h"
#include "userdialogs.h"

#include "nimbus/store/pointrecord.h"

#include <QCoreApplication>

namespace nimbus {

void showAllocationWarning()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    runOnThreadOf(
        app,
        [] {
            installWindowTranslation();
            userDialogs().notify(QMessageBox::Warning, QCoreApplication::translate("Nimbus", "Warning"),
                                 QCoreApplication::translate("Nimbus", "Memory could not be allocated (pos4)!"));
        },
        guiThreadWaitingForWorkers());
}

void installAllocationWarning()
{
    setAllocationFailureHandler(&showAllocationWarning);
}

} // namespace nimbus

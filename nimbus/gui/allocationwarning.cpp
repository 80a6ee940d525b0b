#include "allocationwarning.h"

#include "guicall.h"
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
            userDialogs().notify(QMessageBox::Warning, QStringLiteral("警告"),
                                 QStringLiteral("内存申请失败pos4！"));
        },
        guiThreadWaitingForWorkers());
}

void installAllocationWarning()
{
    setAllocationFailureHandler(&showAllocationWarning);
}

} // namespace nimbus

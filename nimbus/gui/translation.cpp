#include "translation.h"

#include <QCoreApplication>
#include <QTranslator>

// Resources of a static library are registered by name, from outside any
// namespace.
static void registerTranslationResources()
{
    Q_INIT_RESOURCE(nimbus_translations);
}

namespace nimbus {

bool installWindowTranslation()
{
    static bool installed = false;
    if (installed)
        return true;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    registerTranslationResources();
    // Lives as long as the application it is installed in.
    auto* catalogue = new QTranslator(app);
    if (!catalogue->load(QStringLiteral(":/i18n/nimbus_zh_CN.qm"))) {
        delete catalogue;
        return false;
    }
    installed = QCoreApplication::installTranslator(catalogue);
    return installed;
}

} // namespace nimbus

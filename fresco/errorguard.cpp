#include "errorguard.h"

namespace fresco {

namespace {
// Stands for the source of the class in guard reports; fixed so that reports
// do not depend on where the library was built.
const char *const kClassSource = "fresco/fresco.cpp";
} // namespace

QString ErrorGuard::reportText(const QString &operation)
{
    return QStringLiteral("unknowed error in: [%1]-%2")
        .arg(QString::fromLatin1(kClassSource), operation);
}

ErrorGuard::ErrorGuard(std::function<void(QString)> callback, const QString &operation)
    : m_callback(std::move(callback)), m_text(reportText(operation))
{
}

ErrorGuard::~ErrorGuard()
{
    if (m_dismissed || !m_callback)
        return;
    // A destructor may run during unwinding: a throwing host callback must
    // not terminate the process, so its exception stops here.
    try {
        m_callback(m_text);
    } catch (...) {
    }
}

} // namespace fresco

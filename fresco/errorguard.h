// ErrorGuard reports an operation of Fresco that ends without completing:
// created on entry, dismissed on the normal end; if it is destroyed while
// still armed (early return, exception) it sends its text to the error
// callback copied at construction.
#pragma once

#include <QString>

#include <functional>

namespace fresco {

class ErrorGuard
{
public:
    // `operation` is the qualified name, e.g. "Fresco::start".
    ErrorGuard(std::function<void(QString)> callback, const QString &operation);
    ~ErrorGuard();

    ErrorGuard(const ErrorGuard &) = delete;
    ErrorGuard &operator=(const ErrorGuard &) = delete;

    void dismiss() { m_dismissed = true; }
    bool dismissed() const { return m_dismissed; }
    const QString &text() const { return m_text; }

    // The text an undismissed guard of `operation` sends.
    static QString reportText(const QString &operation);

private:
    bool m_dismissed = false;
    std::function<void(QString)> m_callback;
    QString m_text;
};

} // namespace fresco

#pragma once

#include <QString>

namespace tarn3d {

// Receives the progress of an install or uninstall: the wizard shows it in
// its progress bar and details pane, the unattended mode prints it.
class OperationObserver {
public:
    virtual ~OperationObserver() = default;
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void appendDetail(const QString& text) = 0;
    // Why the operation failed, or what it could not clean up. The window
    // shows it among the details; the unattended mode prints it as an error.
    virtual void reportProblem(const QString& text) { appendDetail(text); }
    // Called once per file so a window can repaint during long copies.
    virtual void keepResponsive() = 0;
};

} // namespace tarn3d

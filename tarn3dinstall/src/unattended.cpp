#include "unattended.h"

#include "host_detector.h"
#include "install_texts.h"
#include "package_installer.h"

#include <cstring>

namespace tarn3d {

namespace {

class ConsoleObserver : public OperationObserver {
public:
    explicit ConsoleObserver(QTextStream& out) : out_(out) {}
    void setProgressRange(int, int) override {}
    void setProgressValue(int) override {}
    void keepResponsive() override {}
    void appendDetail(const QString& text) override
    {
        out_ << text;
        if (!text.endsWith(QLatin1Char('\n')))
            out_ << '\n';
        out_.flush();
    }

private:
    QTextStream& out_;
};

void printUsage(QTextStream& stream)
{
    stream << "Usage: Tarn3DInstall [--list | --install LABEL | --uninstall LABEL]\n"
              "  --list               print the install targets, one label per line\n"
              "  --install LABEL      install or update the module in the target LABEL\n"
              "  --uninstall LABEL    remove the module from the target LABEL\n"
              "Without options the installation wizard opens.\n"
              "Exit codes: 0 success, 1 failure, 2 unknown label, no target or bad command line.\n";
}

} // namespace

bool isUnattendedCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i] && std::strncmp(argv[i], "--", 2) == 0)
            return true;
    }
    return false;
}

int runUnattended(const QStringList& arguments, const Platform& platform, QTextStream& out, QTextStream& err)
{
    enum class Command { None, List, Install, Uninstall } command = Command::None;
    QString label;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printUsage(out);
            return ExitSuccess;
        }
        Command next = Command::None;
        QString value;
        bool needsLabel = true;
        if (arg == QLatin1String("--list")) {
            next = Command::List;
            needsLabel = false;
        } else if (arg == QLatin1String("--install") || arg == QLatin1String("--uninstall")) {
            next = arg == QLatin1String("--install") ? Command::Install : Command::Uninstall;
            if (i + 1 >= arguments.size()) {
                err << arg << " needs a target label\n";
                printUsage(err);
                return ExitNoTarget;
            }
            value = arguments.at(++i);
        } else if (arg.startsWith(QLatin1String("--install=")) || arg.startsWith(QLatin1String("--uninstall="))) {
            next = arg.startsWith(QLatin1String("--install=")) ? Command::Install : Command::Uninstall;
            value = arg.mid(arg.indexOf(QLatin1Char('=')) + 1); // the label may hold '=' itself
        } else {
            err << "unknown argument: " << arg << '\n';
            printUsage(err);
            return ExitNoTarget;
        }
        if (command != Command::None) {
            err << "give only one of --list, --install and --uninstall\n";
            return ExitNoTarget;
        }
        command = next;
        if (needsLabel)
            label = value;
    }
    if (command == Command::None) {
        printUsage(err);
        return ExitNoTarget;
    }

    if (!platform.registryError.isEmpty())
        err << platform.registryError << '\n';
    QList<HostProfile> profiles;
    if (platform.registry) {
        const HostDetector detector(configuredFamily(), *platform.registry,
                                    platform.nativeX64 && platform.nativeX64(), platform.programFiles);
        profiles = detector.scanHosts();
    }
    const QMap<QString, HostProfile> entries = labelTargets(profiles, oemLabels(configuredFamily()));
    if (entries.isEmpty()) {
        err << texts::noHostText() << '\n';
        return ExitNoTarget;
    }

    if (command == Command::List) {
        for (const QString& entry : entries.keys())
            out << entry << '\n';
        return ExitSuccess;
    }

    const auto target = entries.constFind(label);
    if (target == entries.constEnd()) {
        err << "unknown target: " << label << "\nknown targets:\n";
        for (const QString& entry : entries.keys())
            err << "  " << entry << '\n';
        return ExitNoTarget;
    }
    if (platform.processes && platform.processes->isRunning(hostProcessName())) {
        err << texts::closeHostText() << '\n';
        return ExitFailure;
    }

    ConsoleObserver observer(out);
    PackageInstaller installer(platform.appDir, configuredFamily(), observer);
    bool ok = false;
    if (command == Command::Install) {
        ok = installPackage(installer, target.value());
        out << (ok ? texts::installDone() : texts::installFailed()) << '\n';
    } else {
        ok = uninstallPackage(installer, target.value());
        out << (ok ? texts::uninstallDone() : texts::uninstallFailed()) << '\n';
    }
    out.flush();
    return ok ? ExitSuccess : ExitFailure;
}

} // namespace tarn3d

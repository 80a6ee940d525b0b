#include "unattended.h"

#include "host_detector.h"
#include "install_texts.h"
#include "package_installer.h"

#include <cstring>

namespace tarn3d {

namespace {

class ConsoleObserver : public OperationObserver {
public:
    ConsoleObserver(QTextStream& out, QTextStream& err) : out_(out), err_(err) {}
    void setProgressRange(int, int) override {}
    void setProgressValue(int) override {}
    void keepResponsive() override {}
    void appendDetail(const QString& text) override
    {
        writeLine(out_, text);
    }
    void reportProblem(const QString& text) override
    {
        out_.flush(); // keeps the two streams in order on a shared console
        writeLine(err_, text);
    }

private:
    static void writeLine(QTextStream& stream, const QString& text)
    {
        stream << text;
        if (!text.endsWith(QLatin1Char('\n')))
            stream << '\n';
        stream.flush();
    }

    QTextStream& out_;
    QTextStream& err_;
};

void printUsage(QTextStream& stream)
{
    stream << "Usage: Tarn3DInstall [--list | --install LABEL | --uninstall LABEL | --help | --version]\n"
              "  --list               print the install targets, one label per line\n"
              "  --install LABEL      install or update the module in the target LABEL\n"
              "  --uninstall LABEL    remove the module from the target LABEL\n"
              "  --install=LABEL, --uninstall=LABEL   the same, as one argument\n"
              "  --help               print this help and exit\n"
              "  --version            print the version and exit\n"
              "Without options the installation wizard opens.\n"
              "Progress goes to standard output, reasons for a failure to standard error.\n";
#ifndef Q_OS_WIN
    stream << "\nEnvironment:\n"
              "  TARN3D_REGISTRY_FILE  registry export (.reg, UTF-16LE with byte order mark or UTF-8)\n"
              "                        read in place of the Windows registry; without it there is no target\n";
#endif
    stream << "\nExit codes:\n"
              "  0  success (for --uninstall also: the module was not installed)\n"
              "  1  the operation failed (its changes undone; standard error says why), or the CAD host (acad.exe) is running\n"
              "  2  unknown label, no target, unreadable registry export, or a wrong command line\n";
}

int usageError(QTextStream& err, const QString& text)
{
    err << "Tarn3DInstall: " << text << "; see --help\n";
    return ExitNoTarget;
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
        if (arg == QLatin1String("--version")) {
            out << "Tarn3DInstall " << TARN3D_VERSION << '\n';
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
            if (i + 1 >= arguments.size())
                return usageError(err, arg + QStringLiteral(" needs a target label"));
            value = arguments.at(++i);
        } else if (arg.startsWith(QLatin1String("--install=")) || arg.startsWith(QLatin1String("--uninstall="))) {
            next = arg.startsWith(QLatin1String("--install=")) ? Command::Install : Command::Uninstall;
            value = arg.mid(arg.indexOf(QLatin1Char('=')) + 1); // the label may hold '=' itself
        } else {
            return usageError(err, QStringLiteral("unknown argument %1").arg(arg));
        }
        if (command != Command::None)
            return usageError(err, QStringLiteral("give only one of --list, --install and --uninstall"));
        command = next;
        if (needsLabel)
            label = value;
    }
    if (command == Command::None)
        return usageError(err, QStringLiteral("no command given"));

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

    ConsoleObserver observer(out, err);
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

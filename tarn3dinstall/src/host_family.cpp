#include "host_family.h"

namespace tarn3d {

QString familyWord(HostFamily family)
{
    switch (family) {
    case HostFamily::AutoCAD: return QStringLiteral("AutoCAD");
    case HostFamily::ZWCAD: return QStringLiteral("ZWCAD");
    case HostFamily::GstarCAD: return QStringLiteral("GCAD");
    }
    return QString();
}

QStringList registryRoots(HostFamily family, bool nativeX64)
{
    if (!nativeX64) {
        // A 32-bit system only ever carries the plain AutoCAD hive.
        if (family == HostFamily::AutoCAD)
            return {QStringLiteral("HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD")};
        return {};
    }
    switch (family) {
    case HostFamily::AutoCAD:
        return {QStringLiteral("HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD"),
                QStringLiteral("HKEY_CURRENT_USER\\Software\\Wow6432Node\\Autodesk\\AutoCAD")};
    case HostFamily::ZWCAD:
        return {QStringLiteral("HKEY_CURRENT_USER\\Software\\ZWSOFT\\ZWCAD"),
                QStringLiteral("HKEY_CURRENT_USER\\Software\\RUDOVAVERA\\ZWCADOEM")};
    case HostFamily::GstarCAD:
        return {QStringLiteral("HKEY_CURRENT_USER\\Software\\Gstarsoft\\GstarCAD")};
    }
    return {};
}

bool hasProfileSettings(HostFamily family, const QStringList& subkeys)
{
    switch (family) {
    case HostFamily::AutoCAD:
        return subkeys.contains(QStringLiteral("General"))
            || subkeys.contains(QStringLiteral("General x86"));
    case HostFamily::ZWCAD:
        return subkeys.contains(QStringLiteral("Config"));
    case HostFamily::GstarCAD:
        return subkeys.contains(QStringLiteral("General"));
    }
    return false;
}

bool hasSearchPathKey(HostFamily family, const QStringList& valueNames)
{
    return valueNames.contains(searchPathKey(family), Qt::CaseInsensitive);
}

QString searchPathKey(HostFamily family)
{
    switch (family) {
    case HostFamily::AutoCAD: return QStringLiteral("ACAD");
    case HostFamily::ZWCAD: return QStringLiteral("ZWCADSEARCHPATH");
    case HostFamily::GstarCAD: return QStringLiteral("GCAD");
    }
    return QString();
}

QString loaderListName(HostFamily family)
{
    switch (family) {
    case HostFamily::AutoCAD: return QStringLiteral("acad.rx");
    case HostFamily::ZWCAD: return QStringLiteral("zwcad.rx");
    case HostFamily::GstarCAD: return QStringLiteral("gcad.rx");
    }
    return QString();
}

QString pluginFileName(HostFamily family)
{
    switch (family) {
    case HostFamily::AutoCAD: return QStringLiteral("tarn3D.arx");
    case HostFamily::ZWCAD: return QStringLiteral("tarn3D.zrx");
    case HostFamily::GstarCAD: return QStringLiteral("tarn3D.grx");
    }
    return QString();
}

QString profileSettingsPath(HostFamily family, const QString& root, const QString& releaseGroup,
                            const QString& productGroup, const QString& profile)
{
    // AutoCAD always reads "General", even when only "General x86" exists.
    const QString group = family == HostFamily::ZWCAD ? QStringLiteral("Config")
                                                       : QStringLiteral("General");
    return QStringLiteral("%1\\%2\\%3\\Profiles\\%4\\%5")
        .arg(root, releaseGroup, productGroup, profile, group);
}

bool isOldRelease(HostFamily family, const QString& year)
{
    if (family != HostFamily::AutoCAD)
        return false;
    bool ok = false;
    const int value = year.toInt(&ok);
    return ok && value < 2010;
}

QMap<QString, QString> versionCatalogue(HostFamily family)
{
    QMap<QString, QString> rows;
    switch (family) {
    case HostFamily::AutoCAD: {
        static const char* const groups[] = {
            "R16.0", "R16.1", "R16.2", "R17.0", "R17.1", "R17.2", "R18.0", "R18.1", "R18.2", "R19.0",
            "R19.1", "R20.0", "R20.1", "R21.0", "R22.0", "R23.0", "R23.1", "R24.0", "R24.1"};
        int year = 2004;
        for (const char* group : groups)
            rows.insert(QLatin1String(group), QStringLiteral("AutoCAD%1").arg(year++));
        break;
    }
    case HostFamily::ZWCAD:
        for (int year = 2020; year <= 2026; ++year)
            rows.insert(QString::number(year), QStringLiteral("ZWCAD%1").arg(year));
        break;
    case HostFamily::GstarCAD:
        // There never was a GstarCAD 2021 release.
        for (int year : {2020, 2022, 2023, 2024, 2025})
            rows.insert(QStringLiteral("R%1").arg(year % 100), QStringLiteral("GCAD%1").arg(year));
        break;
    }
    return rows;
}

QMap<QString, QString> oemLabels(HostFamily family)
{
    QMap<QString, QString> labels;
    if (family == HostFamily::ZWCAD) {
        labels.insert(QStringLiteral("ZWCAD2021"), QStringLiteral("ZWOEM"));
        labels.insert(QStringLiteral("ZWCAD2022"), QStringLiteral("ZWOEM"));
    }
    return labels;
}

} // namespace tarn3d

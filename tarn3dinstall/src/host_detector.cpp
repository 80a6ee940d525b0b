#include "host_detector.h"

#include "path_text.h"

#include <QDir>
#include <QFileInfo>

namespace tarn3d {

namespace {

// Folder names a profile's search-path entries are matched against.
struct FolderNames {
    QString system;
    QString bin;
    QString blocks;
    QString fennSystem;
};

FolderNames folderNamesFor(bool fenn, bool brae)
{
    if (brae)
        return {QStringLiteral("brae\\SYSTEM"), QStringLiteral("brae\\BIN"), QStringLiteral("brae\\BLOCKS"),
                QStringLiteral("brae\\system")};
    if (fenn)
        return {QStringLiteral("public\\system"), QStringLiteral("public\\bin"), QStringLiteral("public\\blocks"),
                QStringLiteral("fenn\\system")};
    return {QStringLiteral("SYSTEM"), QStringLiteral("BIN"), QStringLiteral("BLOCKS"), QString()};
}

// Fenn and Brae folder names carry a separator, so those profiles match on the
// end of the whole entry; all others on the entry's own directory name.
bool entryMatches(const QString& entry, const QString& folder, bool wholePath)
{
    if (wholePath)
        return endsWithFolder(entry, folder);
    return lastComponent(entry).contains(folder, Qt::CaseInsensitive);
}

bool isAcceptedProfileName(const QString& name, bool oem, bool fenn)
{
    if (name.contains(QLatin1String("tarn"), Qt::CaseInsensitive))
        return true;
    for (const char* prefix : {"KOV", "BRAE", "YAM"}) {
        if (name.startsWith(QLatin1String(prefix), Qt::CaseInsensitive))
            return true;
    }
    return oem || fenn;
}

} // namespace

QString marker32FileName() { return QStringLiteral("TarnRT32.dll"); }
QString marker64FileName() { return QStringLiteral("TarnRT64.dll"); }

HostDetector::HostDetector(HostFamily family, const RegistryReader& registry, bool nativeX64,
                           std::function<QString()> programFiles)
    : family_(family), registry_(registry), nativeX64_(nativeX64), programFiles_(std::move(programFiles))
{
}

QList<HostProfile> HostDetector::scanHosts() const
{
    QList<HostProfile> profiles;
    for (const QString& root : registryRoots(family_, nativeX64_))
        scanRoot(root, !nativeX64_, profiles);
    return profiles;
}

void HostDetector::scanRoot(const QString& root, bool x86, QList<HostProfile>& profiles) const
{
    const bool oem = root.contains(QLatin1String("ZWCADOEM"));
    const QMap<QString, QString> catalogue = versionCatalogue(family_);
    for (const QString& releaseGroup : registry_.subkeys(root)) {
        const auto product = catalogue.constFind(releaseGroup);
        if (product == catalogue.constEnd())
            continue;
        const QString releaseKey = root + QLatin1Char('\\') + releaseGroup;
        for (const QString& productGroup : registry_.subkeys(releaseKey)) {
            const QString profilesKey = releaseKey + QLatin1Char('\\') + productGroup + QStringLiteral("\\Profiles");
            for (const QString& profile : registry_.subkeys(profilesKey)) {
                HostProfile record;
                record.productName = product.value();
                record.oem = oem;
                if (!readProfile(root, releaseGroup, productGroup, profile, oem, record))
                    continue;
                if (x86) {
                    record.x86 = true;
                } else {
                    QString year = record.productName;
                    year.remove(familyWord(family_));
                    record.x86 = isOldRelease(family_, year) || pluginBitness(record.binDir) == 1;
                }
                profiles.append(record);
            }
        }
    }
}

bool HostDetector::readProfile(const QString& root, const QString& releaseGroup, const QString& productGroup,
                               const QString& profile, bool oem, HostProfile& record) const
{
    const bool fenn = profile.contains(QLatin1String("fenn"), Qt::CaseInsensitive);
    const bool brae = profile.contains(QLatin1String("brae"), Qt::CaseInsensitive);
    if (!isAcceptedProfileName(profile, oem, fenn))
        return false;

    const QString profileKey =
        QStringLiteral("%1\\%2\\%3\\Profiles\\%4").arg(root, releaseGroup, productGroup, profile);
    if (!hasProfileSettings(family_, registry_.subkeys(profileKey)))
        return false;
    const QString settingsKey = profileSettingsPath(family_, root, releaseGroup, productGroup, profile);
    if (!hasSearchPathKey(family_, registry_.valueNames(settingsKey)))
        return false;
    const QStringList entries =
        registry_.readString(settingsKey, searchPathKey(family_)).split(QLatin1Char(';'), Qt::KeepEmptyParts);

    record.profileName = profile;
    if (profile == QLatin1String("KOV"))
        record.profileName = QStringLiteral("Lode");
    if (oem)
        record.profileName = QStringLiteral("TARN11");

    classifyEntries(entries, fenn, brae, record);
    return !record.systemDir.isEmpty() && !record.binDir.isEmpty();
}

void HostDetector::classifyEntries(const QStringList& entries, bool fenn, bool brae, HostProfile& record) const
{
    const FolderNames names = folderNamesFor(fenn, brae);
    const bool wholePath = fenn || brae;
    QString programFiles = programFiles_ ? programFiles_() : QString();
    programFiles.remove(QLatin1String(" (x86)"));

    for (QString entry : entries) {
        entry.replace(QLatin1String("%ProgramFiles%"), programFiles);

        if (entryMatches(entry, names.system, wholePath)) {
            QString listFile = joinPath(entry, loaderListName(family_));
            listFile.replace(QLatin1String("\\\\"), QLatin1String("\\"));
            if (QFileInfo(listFile).isFile()) {
                if (record.systemDir.isEmpty())
                    record.systemDir = entry;
            } else if (fenn) {
                record.systemDir = entry;
            }
        }
        if (entryMatches(entry, names.bin, wholePath) && record.binDir.isEmpty())
            record.binDir = entry;
        if (entryMatches(entry, names.blocks, wholePath) && record.blocksDir.isEmpty())
            record.blocksDir = entry;
        if (fenn && endsWithFolder(entry, names.fennSystem))
            record.extraSystemDir = entry;
    }
}

int HostDetector::pluginBitness(const QString& binDir)
{
    if (binDir.isEmpty())
        return 2;
    const QStringList files = QDir(binDir).entryList(QDir::Files | QDir::NoSymLinks);
    const bool has32 = files.contains(marker32FileName(), Qt::CaseInsensitive);
    const bool has64 = files.contains(marker64FileName(), Qt::CaseInsensitive);
    if (has32 && !has64)
        return 1;
    if (has64 && !has32)
        return 0;
    return 2;
}

QString targetLabel(const HostProfile& profile, const QMap<QString, QString>& oemLabels)
{
    QString shownName = profile.profileName.toLower();
    if (!shownName.isEmpty())
        shownName[0] = shownName.at(0).toUpper();
    const QString shownHost = profile.oem ? oemLabels.value(profile.productName) : profile.productName;
    return profile.x86 ? QStringLiteral("%1 for %2 x86").arg(shownName, shownHost)
                       : QStringLiteral("%1 for %2 x64").arg(shownName, shownHost);
}

QMap<QString, HostProfile> labelTargets(const QList<HostProfile>& profiles, const QMap<QString, QString>& oemLabels)
{
    QMap<QString, HostProfile> entries;
    for (const HostProfile& profile : profiles)
        entries.insert(targetLabel(profile, oemLabels), profile);
    return entries;
}

bool moduleFilePresent(const HostProfile& profile, HostFamily family)
{
    // Without a BIN folder the name would resolve against the working directory.
    if (profile.binDir.isEmpty())
        return false;
    return QFileInfo::exists(joinPath(profile.binDir, pluginFileName(family)));
}

} // namespace tarn3d

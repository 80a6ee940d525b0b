// The current user's hive, read through QSettings in native format: each
// level is opened by its full key path, subkeys are child groups and values
// are child keys.
#include "registry_reader.h"

#include <QSettings>
#include <algorithm>

namespace tarn3d {
namespace {

class NativeRegistry : public RegistryReader {
public:
    QStringList subkeys(const QString& keyPath) const override
    {
        QSettings settings(keyPath, QSettings::NativeFormat);
        QStringList names = settings.childGroups();
        std::sort(names.begin(), names.end());
        return names;
    }

    QStringList valueNames(const QString& keyPath) const override
    {
        QSettings settings(keyPath, QSettings::NativeFormat);
        QStringList names = settings.childKeys();
        std::sort(names.begin(), names.end());
        return names;
    }

    QString readString(const QString& keyPath, const QString& valueName) const override
    {
        QSettings settings(keyPath, QSettings::NativeFormat);
        return settings.value(valueName).toString();
    }
};

} // namespace

std::unique_ptr<RegistryReader> createNativeRegistry()
{
    return std::make_unique<NativeRegistry>();
}

} // namespace tarn3d

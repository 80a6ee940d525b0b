// The window's Chinese catalogue against what can reach the window: every
// message a library below the driver can report must have a finished
// translation with the same placeholders, and the program must carry it.

#include "nimbus/convert/reasontext.h"
#include "nimbus/gui/translation.h"

#include "lasmessages.h"
#include "systemerror.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <QtTest>

#include <cerrno>

namespace {

struct Entry {
    QString translation;
    bool finished = false;
};

using Key = QPair<QString, QString>; // source, comment

// Every message of the catalogue's source file.
QHash<Key, Entry> catalogue()
{
    QHash<Key, Entry> entries;
    QFile file(QStringLiteral(NIMBUS_TS_PATH));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    QXmlStreamReader xml(&file);
    QString source, comment;
    Entry entry;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("message")) {
            source.clear();
            comment.clear();
            entry = Entry();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("comment")) {
            comment = xml.readElementText();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("translation")) {
            // Unfinished, obsolete and vanished translations are not shown.
            entry.finished = xml.attributes().value(QLatin1String("type")).isEmpty();
            entry.translation = xml.readElementText();
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            entries.insert(Key(source, comment), entry);
        }
    }
    return xml.hasError() ? QHash<Key, Entry>() : entries;
}

QSet<QString> placeholders(const QString& text)
{
    QSet<QString> found;
    QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("%[1-9]")).globalMatch(text);
    while (it.hasNext())
        found.insert(it.next().captured());
    return found;
}

Key keyOf(const nimbus::Message& m)
{
    return Key(QString::fromUtf8(m.english), m.comment ? QString::fromUtf8(m.comment) : QString());
}

} // namespace

class TranslationTest : public QObject {
    Q_OBJECT
private slots:
    void everyLibraryMessageHasAFinishedTranslation();
    void theProgramTranslatesReasonsAndTheirParts();
};

void TranslationTest::everyLibraryMessageHasAFinishedTranslation()
{
    const QHash<Key, Entry> entries = catalogue();
    QVERIFY2(!entries.isEmpty(), NIMBUS_TS_PATH " cannot be read");
    QStringList faults;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (!it.value().finished || it.value().translation.isEmpty())
            faults << QStringLiteral("unfinished: ") + it.key().first;
    }
    const std::vector<nimbus::Message> messages = nimbus::libraryMessages();
    for (const nimbus::Message& m : messages) {
        const Key key = keyOf(m);
        const auto found = entries.constFind(key);
        if (found == entries.cend()) {
            faults << QStringLiteral("no translation: ") + key.first;
            continue;
        }
        // A placeholder lost would drop a number or a name; one added would
        // show as "%3".
        if (placeholders(found->translation) != placeholders(key.first))
            faults << QStringLiteral("other placeholders: ") + key.first + QStringLiteral(" -> ") + found->translation;
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TranslationTest::theProgramTranslatesReasonsAndTheirParts()
{
    QVERIFY(nimbus::installWindowTranslation());
    const QHash<Key, Entry> entries = catalogue();
    QStringList faults;
    for (const nimbus::Message& m : nimbus::libraryMessages()) {
        const QString shown = QCoreApplication::translate("Nimbus", m.english, m.comment);
        if (shown != entries.value(keyOf(m)).translation)
            faults << QString::fromUtf8(m.english) + QStringLiteral(" -> ") + shown;
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));

    namespace msg = nimbus::las::msg;
    // Nested reasons are translated each in its own words; names and numbers
    // stay as they are.
    const nimbus::Reason missing(msg::kCannotOpen, "/data/a%1.las", nimbus::systemError(ENOENT));
    QCOMPARE(nimbus::reasonText(missing), QStringLiteral("无法打开 /data/a%1.las: 没有该文件或文件夹"));
    const nimbus::Reason item(msg::kFaultAfter, nimbus::Reason(msg::kChunkCorrupt, 4, nimbus::Reason(msg::kChunkShorterThanRecord)),
                              200000, 300000);
    QCOMPARE(nimbus::reasonText(item), QStringLiteral("块 4 已损坏: 块比一条点记录还短（300000 个点中已读 200000 个）"));
    // Words the system gave that the catalogue does not know stay as given.
    QCOMPARE(nimbus::systemWords(QStringLiteral("Something odd")), QStringLiteral("Something odd"));
    QCOMPARE(nimbus::systemWords(QStringLiteral("Permission denied")), QStringLiteral("没有访问权限"));
}

QTEST_GUILESS_MAIN(TranslationTest)
#include "translation_test.moc"

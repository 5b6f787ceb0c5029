#include <QGuiApplication>
#include <QtTest>

#include "app/shared/settings.h"
#include "testsupport.h"

Q_DECLARE_METATYPE(Settings::Key)

namespace {
const Settings::Key AllKeys[] = {Settings::Key::Combo, Settings::Key::Text2,
                                 Settings::Key::Extension, Settings::Key::LastFolder,
                                 Settings::Key::ValueWay};
} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void defaults_data();
    void defaults();
    void resultsFolderDefault_data();
    void resultsFolderDefault();
    void writeThenRead_data();
    void writeThenRead();
    void everyKeystrokeIsWritten();
    void storeIsIsolated();
};

// Every test starts from an empty store.
void TestSettings::init()
{
    clearSettingsStore();
    for (Settings::Key key : AllKeys)
        QCOMPARE(Settings::read(key), Settings::defaultFor(key));
}

void TestSettings::defaults_data()
{
    QTest::addColumn<Settings::Key>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Combo") << Settings::Key::Combo << "Title";
    QTest::newRow("Extension") << Settings::Key::Extension << "jpg";
    QTest::newRow("LastFolder") << Settings::Key::LastFolder << QString();
    QTest::newRow("ValueWay") << Settings::Key::ValueWay << "Write as typed";
}

void TestSettings::defaults()
{
    QFETCH(Settings::Key, key);
    QFETCH(QString, expected);
    QCOMPARE(Settings::read(key), expected);
    QCOMPARE(Settings::defaultFor(key), expected);
}

void TestSettings::resultsFolderDefault_data()
{
    QTest::addColumn<QStringList>("folders"); // made in a fresh home folder
    QTest::addColumn<QString>("expected");    // below that home
    QTest::newRow("desktop") << QStringList{"Desktop", "Pictures"} << "Desktop/";
    QTest::newRow("no desktop: pictures") << QStringList{"Pictures"} << "Pictures/";
    QTest::newRow("neither: home") << QStringList{} << "";
}

void TestSettings::resultsFolderDefault()
{
    QFETCH(QStringList, folders);
    QFETCH(QString, expected);
    QTemporaryDir home;
    for (const QString &folder : folders)
        QVERIFY(QDir(home.path()).mkdir(folder));
    const QByteArray realHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    if (QDir::homePath() != home.path()) {
        qputenv("HOME", realHome);
        QSKIP("This system finds the user's folders without HOME");
    }
    const QString got = Settings::read(Settings::Key::Text2);
    qputenv("HOME", realHome);
    QCOMPARE(got, home.path() + QLatin1Char('/') + expected);
}

void TestSettings::writeThenRead_data()
{
    QTest::addColumn<Settings::Key>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("Combo") << Settings::Key::Combo << "Combo" << "Date and Time (original)";
    QTest::newRow("Text2") << Settings::Key::Text2 << "Text2" << R"(D:\Out\)";
    QTest::newRow("Text2 emptied") << Settings::Key::Text2 << "Text2" << "";
    QTest::newRow("Extension") << Settings::Key::Extension << "Extension" << "*";
    QTest::newRow("LastFolder") << Settings::Key::LastFolder << "LastFolder" << "/home/u/é x";
    QTest::newRow("ValueWay") << Settings::Key::ValueWay << "ValueWay" << "Fill in fields";
}

void TestSettings::writeThenRead()
{
    QFETCH(Settings::Key, key);
    QFETCH(QString, name);
    QFETCH(QString, value);

    Settings::write(key, value);
    QCOMPARE(Settings::read(key), value);
    QCOMPARE(Settings::keyName(key), name);
    for (Settings::Key other : AllKeys)
        if (other != key)
            QCOMPARE(Settings::read(other), Settings::defaultFor(other));

    // Stored under its own name in the group, as a separate reader sees it.
    QCOMPARE(settingsStoreAsFound()->value(QStringLiteral("Ostrell/") + name), QVariant(value));
    // Where the older program's GetSetting finds it, as the string it reads.
    const std::optional<QString> stored = settingAsStored(QStringLiteral("Ostrell"), name);
    QVERIFY(stored);
    QCOMPARE(*stored, value);
}

void TestSettings::everyKeystrokeIsWritten()
{
    const QString typed = QStringLiteral("/tmp/x");
    for (int length = 1; length <= typed.size(); ++length) {
        Settings::write(Settings::Key::Text2, typed.left(length));
        QCOMPARE(Settings::read(Settings::Key::Text2), typed.left(length));
    }
    QCOMPARE(Settings::read(Settings::Key::Text2), typed);
}

void TestSettings::storeIsIsolated()
{
    QVERIFY(settingsStoreIsIsolated());
    Settings::write(Settings::Key::Combo, QStringLiteral("Camera Model"));
    const std::unique_ptr<QSettings> found = settingsStoreAsFound();
    QCOMPARE(found->childGroups(), QStringList{QStringLiteral("Ostrell")});
    QCOMPARE(found->value(QStringLiteral("Ostrell/Combo")), QVariant(QStringLiteral("Camera Model")));
}

OSTRELL_CORE_TEST_MAIN(TestSettings)
#include "tst_settings.moc"

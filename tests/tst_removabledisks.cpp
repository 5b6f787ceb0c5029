#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QImage>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <csignal>

#include "enginesupport.h"
#include "mountsupport.h"
#include "testsupport.h"
#include "writer/engine/writerengine.h"
#include "writer/output/destination.h"
#include "writer/output/runfolder.h"
#include "writer/verify/verifier.h"

namespace {

// Child mode: a run into the folder that dies with its copy's name claimed.
// "kill" dies the moment the copy is checked, before it is renamed over the
// claim; "hang" stops there for its parent to pull the disk; "plain" runs on,
// for its parent to kill while the copy fills the claim.
int dyingRun(const QString &out, const QString &source, const QByteArray &how)
{
    ListSource list({source}, out, QStringLiteral("again"));
    WriterEngine::Options options = checkedOptionsFor(out);
    if (how != "plain")
        options.verifier = [how](const QByteArray &, const QByteArray &, const QString &, const QString &) {
            if (how == "kill")
                ::raise(SIGKILL);
            QThread::sleep(120);
            return CopyCheck{};
        };
    WriterEngine engine(list, options);
    runToEnd(engine, 1);
    return 1; // not reached when the run claims names
}

// A photo of noise, so that its copy takes many writes to a share.
bool makeNoisyJpeg(const QString &path)
{
    QImage image(320, 240, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, random.generate() | 0xff000000u);
    return image.save(path, "JPEG", 95);
}

} // namespace

class TestRemovableDisks : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void namesAgainstFileSystems_data();
    void namesAgainstFileSystems();
    void copiesLandOnEveryDisk_data();
    void copiesLandOnEveryDisk();
    void nextRunFinishesWhatADeadRunLeft_data();
    void nextRunFinishesWhatADeadRunLeft();

private:
    QString disk(const QString &kind);

    std::unique_ptr<TestMounts> m_mounts;
    QString m_whyNot;
    QHash<QString, QString> m_disks;
    QTemporaryDir m_local;

    QString holdFile() const { return m_local.filePath(QStringLiteral("hold-fills")); }
};

void TestRemovableDisks::initTestCase()
{
    m_whyNot = TestMounts::whyNot();
    if (!m_whyNot.isEmpty())
        return;
    m_mounts = std::make_unique<TestMounts>();
    QList<std::pair<QString, TestMounts::Kind>> kinds{{"exfat", TestMounts::Kind::ExFat},
                                                           {"no links", TestMounts::Kind::NoLinks},
                                                           {"no rename over", TestMounts::Kind::NoRenameOver}};
    if (TestMounts::canMountFat())
        kinds.append({"fat", TestMounts::Kind::Fat});
    kinds.append({"slow, no rename over", TestMounts::Kind::NoRenameOver});
    for (const auto &[name, kind] : kinds) {
        TestMounts::Options options;
        if (name.startsWith(QLatin1String("slow"))) {
            options.writeDelayMs = 40;
            options.holdWhile = holdFile();
        }
        const QString root = m_mounts->mount(kind, options);
        if (root.isEmpty()) {
            m_whyNot = QStringLiteral("%1 could not be mounted: %2").arg(name, m_mounts->error());
            return;
        }
        m_disks.insert(name, root);
    }
}

void TestRemovableDisks::cleanupTestCase()
{
    m_mounts.reset();
}

// A fresh folder on the named disk, "local" being the temporary folder's own.
QString TestRemovableDisks::disk(const QString &kind)
{
    static int made = 0;
    const QString root = kind == QLatin1String("local") ? m_local.path() : m_disks.value(kind);
    const QString folder = root + QStringLiteral("/t%1").arg(++made);
    QDir().mkpath(folder + QStringLiteral("/src/a"));
    QDir().mkpath(folder + QStringLiteral("/src/b"));
    QDir().mkpath(folder + QStringLiteral("/out"));
    return folder;
}

// Names each kind of disk refuses, and the ones it takes; "" where it takes it.
void TestRemovableDisks::namesAgainstFileSystems_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<bool>("oneName"); // the disk takes the other name for this one
    QTest::newRow("FAT, colon") << QByteArray("vfat") << QByteArray("10:30.jpg") << "character \":\""
                                << QByteArray("10-30.jpg") << false;
    QTest::newRow("exFAT through FUSE, question mark")
        << QByteArray("fuseblk.exfat") << QByteArray("why?.jpg") << "(exFAT through FUSE) cannot hold the character \"?\""
        << QByteArray("WHY?.JPG") << true;
    QTest::newRow("NTFS, bar") << QByteArray("ntfs3") << QByteArray("a|b.jpg") << "character \"|\""
                               << QByteArray("A|B.jpg") << true;
    QTest::newRow("FAT, back-slash") << QByteArray("vfat") << QByteArray("a\\b.jpg") << "character \"\\\""
                                     << QByteArray() << false;
    QTest::newRow("exFAT, quote") << QByteArray("exfat") << QByteArray("\"x\".jpg") << "character \"\"\""
                                  << QByteArray() << false;
    QTest::newRow("FAT, tab") << QByteArray("vfat") << QByteArray("a\tb.jpg") << "control character (code 09"
                              << QByteArray() << false;
    QTest::newRow("FAT, trailing dot") << QByteArray("vfat") << QByteArray("photo.") << "ends in a dot"
                                       << QByteArray() << false;
    QTest::newRow("exFAT, trailing blank") << QByteArray("exfat") << QByteArray("photo.jpg ") << "ends in a blank"
                                           << QByteArray() << false;
    // Windows opens these as devices, whatever follows the first dot.
    QTest::newRow("FAT, device with extension") << QByteArray("vfat") << QByteArray("CON.jpg") << "device CON"
                                                << QByteArray() << false;
    QTest::newRow("NTFS, device in lower case, two dots")
        << QByteArray("ntfs3") << QByteArray("nul.tar.jpg") << "device NUL" << QByteArray() << false;
    QTest::newRow("exFAT, port") << QByteArray("exfat") << QByteArray("Com1.JPG") << "device COM1"
                                 << QByteArray() << false;
    QTest::newRow("FAT, device, blank before the dot")
        << QByteArray("vfat") << QByteArray("lpt9 .jpg") << "device LPT9" << QByteArray() << false;
    QTest::newRow("NTFS, only begins like a device")
        << QByteArray("ntfs3") << QByteArray("COM10 console.jpg") << "" << QByteArray() << false;
    QTest::newRow("ext4 takes a device name") << QByteArray("ext4") << QByteArray("aux.jpg") << ""
                                              << QByteArray() << false;
    QTest::newRow("FAT, case only") << QByteArray("vfat") << QByteArray("IMG_1.JPG") << ""
                                    << QByteArray("img_1.jpg") << true;
    QTest::newRow("exFAT, accented, case only") << QByteArray("exfat") << QByteArray("\xc3\x89t\xc3\xa9.jpg") << ""
                                                << QByteArray("\xc3\xa9T\xc3\x89.JPG") << true;
    QTest::newRow("ext4 takes them all") << QByteArray("ext4") << QByteArray("a:b?*|<>\".jpg.") << ""
                                         << QByteArray("A:B?*|<>\".JPG.") << false;
    QTest::newRow("share over ssh") << QByteArray("fuse.sshfs") << QByteArray("a:b.jpg") << ""
                                    << QByteArray("A:b.jpg") << false;
}

void TestRemovableDisks::namesAgainstFileSystems()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, name);
    QFETCH(QString, refusal);
    QFETCH(QByteArray, other);
    QFETCH(bool, oneName);
    const Destination destination = rulesForType(type);
    const QString said = nameRefusal(destination, name);
    if (refusal.isEmpty())
        QVERIFY2(said.isEmpty(), qPrintable(said));
    else
        QVERIFY2(said.contains(refusal), qPrintable(said));
    if (!other.isEmpty())
        QCOMPARE(sameNameThere(destination, name, other), oneName);
}

// Every copy is written, whole and read back, on each disk, in the way the
// probe found for it; what the disk cannot hold is refused with a reason
// that names it, and nothing else is left in the results folder.
void TestRemovableDisks::copiesLandOnEveryDisk_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("way");
    QTest::addColumn<bool>("renameOver");
    QTest::addColumn<bool>("windowsDisk");
    QTest::addColumn<QString>("shown"); // how reasons name the file system
    QTest::newRow("local folder") << "local" << int(Destination::Way::NoReplaceRename) << true << false << "";
    QTest::newRow("exFAT card through FUSE") << "exfat" << int(Destination::Way::Claim) << true << true
                                             << "exFAT through FUSE";
    QTest::newRow("FAT32 card through FUSE") << "fat" << int(Destination::Way::Claim) << true << true
                                             << "FAT through FUSE";
    QTest::newRow("share without links or rename flags")
        << "no links" << int(Destination::Way::Claim) << true << false << "";
    QTest::newRow("share that renames over no file")
        << "no rename over" << int(Destination::Way::Claim) << false << false << "";
}

void TestRemovableDisks::copiesLandOnEveryDisk()
{
    QFETCH(QString, kind);
    QFETCH(int, way);
    QFETCH(bool, renameOver);
    QFETCH(bool, windowsDisk);
    QFETCH(QString, shown);
    if (kind != QLatin1String("local") && !m_whyNot.isEmpty())
        QSKIP(qPrintable(m_whyNot));
    if (kind == QLatin1String("fat") && !m_disks.contains(kind))
        QSKIP("fusefat and dosfstools are not installed");
    const QString root = disk(kind);
    const QString out = root + QStringLiteral("/out");
    QString whyNot;
    std::unique_ptr<RunFolder> probed = RunFolder::create(QFile::encodeName(out), &whyNot);
    QVERIFY2(probed, qPrintable(whyNot));
    QCOMPARE(int(probed->destination().way), way);
    QCOMPARE(probed->destination().renameOverClaim, renameOver);
    QCOMPARE(probed->destination().caseInsensitive, windowsDisk);
    QCOMPARE(probed->destination().windowsNames, windowsDisk);
    probed->finish();

    // The sources sit on the disk itself, as on a card in the reader.
    QStringList names{"src/a/IMG_1.jpg", "src/b/img_1.jpg", "src/a/old.jpg", "src/a/p1.jpg",
                      "src/a/p2.jpg", "src/a/p3.jpg"};
    if (!windowsDisk)
        names.append(QStringLiteral("src/a/10:30.jpg"));
    QStringList sources;
    for (const QString &name : names) {
        sources.append(root + QLatin1Char('/') + name);
        QVERIFY(makeJpeg(sources.last()));
    }
    if (windowsDisk) {
        // A card's own name that such a disk refuses, as a phone may leave it.
        sources.append(m_local.filePath(QStringLiteral("10:30.jpg")));
        QVERIFY(makeJpeg(sources.last()));
    }
    QFile kept(out + QStringLiteral("/OLD.jpg"));
    QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("keep") == 4);
    kept.close();

    ListSource list(sources, out, QStringLiteral("on the card"));
    WriterEngine engine(list, checkedOptionsFor(out));
    const QList<FileOutcome> outcomes = runToEnd(engine, int(sources.size()));
    QCOMPARE(outcomes.size(), sources.size());

    QStringList expected{"IMG_1.jpg", "OLD.jpg", "p1.jpg", "p2.jpg", "p3.jpg"};
    for (const FileOutcome &outcome : outcomes) {
        const QString name = QFileInfo(outcome.source).fileName();
        const bool refused = windowsDisk && (name == QLatin1String("img_1.jpg") || name == QLatin1String("old.jpg")
                                             || name == QLatin1String("10:30.jpg"));
        if (refused) {
            QCOMPARE(outcome.kind, FileOutcome::Kind::Failed);
            const QString names = name == QLatin1String("img_1.jpg") ? QStringLiteral("IMG_1.jpg")
                : name == QLatin1String("old.jpg")                   ? QStringLiteral("OLD.jpg")
                                                                     : QStringLiteral("\":\"");
            QVERIFY2(outcome.reason.contains(names) && outcome.reason.contains(shown),
                     qPrintable(outcome.reason));
            continue;
        }
        QVERIFY2(outcome.kind == FileOutcome::Kind::Written, qPrintable(name + ": " + outcome.reason));
        QCOMPARE(readTag(out + QLatin1Char('/') + name, QStringLiteral("Artist")), QStringLiteral("on the card"));
        if (!expected.contains(name))
            expected.append(name);
    }
    expected.sort();
    QCOMPARE(everythingIn(out), expected);
    QCOMPARE(fileBytes(kept.fileName()), QByteArray("keep"));
}

// A run that dies with a final name claimed (killed, or its card pulled and
// mounted again, where file numbers change) leaves that claim, or part of
// its copy where the share renames over no file. The same run again clears
// it and writes every photo whole; an empty file it did not make, and a
// claim someone has since replaced, stay, the latter named where a fill was
// under way.
void TestRemovableDisks::nextRunFinishesWhatADeadRunLeft_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("how");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("exFAT card, killed before the rename") << "exfat" << QByteArray("kill") << false;
    QTest::newRow("share without links, killed before the rename") << "no links" << QByteArray("kill") << false;
    QTest::newRow("share, claim replaced by another program") << "no links" << QByteArray("kill") << true;
    QTest::newRow("exFAT card pulled before the rename") << "exfat" << QByteArray("pull") << false;
    QTest::newRow("share without links pulled before the rename") << "no links" << QByteArray("pull") << false;
    QTest::newRow("share that renames over no file, killed during the fill")
        << "slow, no rename over" << QByteArray("plain") << false;
    QTest::newRow("share, part of a copy replaced by another program")
        << "slow, no rename over" << QByteArray("plain") << true;
}

void TestRemovableDisks::nextRunFinishesWhatADeadRunLeft()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, how);
    QFETCH(bool, replaced);
    if (!m_whyNot.isEmpty())
        QSKIP(qPrintable(m_whyNot));
    const QString root = disk(kind);
    const QString out = root + QStringLiteral("/out");
    // The sources stay off the disk that is pulled.
    const QString crashed = m_local.filePath(kind + QStringLiteral("-") + QString::fromLatin1(QTest::currentDataTag()).left(12) + QStringLiteral("/c.jpg"));
    const QString next = QFileInfo(crashed).path() + QStringLiteral("/d.jpg");
    QVERIFY(QDir().mkpath(QFileInfo(crashed).path()));
    QVERIFY(makeNoisyJpeg(crashed) && makeJpeg(next));
    QFile bystander(out + QStringLiteral("/empty.jpg"));
    QVERIFY(bystander.open(QIODevice::WriteOnly));
    bystander.close();

    const QString claim = out + QStringLiteral("/c.jpg");
    QFile hold(holdFile());
    QVERIFY(how != "plain" || hold.open(QIODevice::WriteOnly));
    hold.close();
    const auto release = qScopeGuard([this] {
        QFile::remove(holdFile());
        QFile::remove(holdFile() + QStringLiteral(".held"));
    });
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--dying-run"), out, crashed, QString::fromLatin1(how == "pull" ? "hang" : how)});
    if (how == "kill") {
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(QFileInfo::exists(claim));
    } else {
        // Killed once the claim is there, or once part of the copy is in it:
        // the share holds the rest of the fill back until the kill is sent.
        if (how == "plain")
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(holdFile() + QStringLiteral(".held")), 60000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(claim), 60000);
        if (how == "pull")
            QVERIFY2(m_mounts->pull(root.left(root.lastIndexOf(QLatin1Char('/')))), qPrintable(m_mounts->error()));
        child.kill();
        QFile::remove(holdFile());
        QVERIFY(child.waitForFinished(10000));
        if (how == "pull")
            QVERIFY2(m_mounts->remount(root.left(root.lastIndexOf(QLatin1Char('/')))), qPrintable(m_mounts->error()));
        // The kernel may finish a write the kill came in the middle of: cut
        // the fill short then, as a pulled share would.
        if (how == "plain" && QFileInfo(claim).size() > 8192)
            QVERIFY(QFile::resize(claim, 8192));
    }
    if (replaced) {
        QVERIFY(QFile::remove(claim));
        QFile theirs(claim);
        QVERIFY(theirs.open(QIODevice::WriteOnly) && theirs.write("theirs") == 6);
    }

    ListSource list({crashed, next}, out, QStringLiteral("again"));
    WriterEngine engine(list, checkedOptionsFor(out));
    const QList<FileOutcome> outcomes = runToEnd(engine, 2);
    QCOMPARE(outcomes.size(), 2);
    for (const FileOutcome &outcome : outcomes) {
        const QString copy = out + QLatin1Char('/') + QFileInfo(outcome.source).fileName();
        if (replaced && outcome.source == crashed) {
            QCOMPARE(outcome.kind, FileOutcome::Kind::Failed);
            QCOMPARE(fileBytes(copy), QByteArray("theirs"));
            continue;
        }
        QVERIFY2(outcome.kind == FileOutcome::Kind::Written, qPrintable(outcome.source + ": " + outcome.reason));
        const CopyCheck check = verifyCopy(QFile::encodeName(outcome.source), QFile::encodeName(copy),
                                           {QStringLiteral("Artist"), QStringLiteral("again")});
        QVERIFY2(check.wrong.isEmpty(), qPrintable(check.wrong));
    }
    // A pulled card may have lost the claim's name along with its mark.
    const int cleared = engine.leftBehind().claimsCleared;
    QVERIFY2(replaced ? cleared == 0 : how == "pull" ? cleared <= 1 : cleared == 1, qPrintable(QString::number(cleared)));
    // Someone else's file where a fill was under way is named, not removed.
    QCOMPARE(engine.leftBehind().leftAsTheyAre,
             replaced && how == "plain" ? QList<QByteArray>{"c.jpg"} : QList<QByteArray>());
    QCOMPARE(everythingIn(out), (QStringList{"c.jpg", "d.jpg", "empty.jpg"}));
}

int main(int argc, char **argv)
{
    isolateSettingsStore();
    QGuiApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--dying-run")
        return dyingRun(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]), argv[4]);
    TestRemovableDisks tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_removabledisks.moc"

#include "app/window/form1.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>

#include "app/cursorfile.h"
#include "app/samplefiles.h"
#include "app/shared/errorreport.h"
#include "app/shared/paths.h"
#include "app/shared/settings.h"
#include "app/startup.h"
#include "app/window/qtdialogs.h"
#include "filelist/addfiles.h"
#include "filelist/addfolder.h"
#include "filelist/filelistmodel.h"
#include "filelist/scanqueue.h"
#include "filelist/window/filelistview.h"
#include "platform/filenames.h"
#include "writer/command/resultsfolder.h"
#include "writer/tags/tagcatalogue.h"

namespace {

constexpr int TwipsPerPixel = 15;

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
                        height / TwipsPerPixel);
}

QFont controlFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    font.setBold(true);
    return font;
}

QFont buttonFont()
{
    QFont font = controlFont();
    font.setPointSizeF(11.25);
    return font;
}

} // namespace

Form1::Form1(Dialogs *dialogs, QWidget *parent)
    : QWidget(parent)
    , m_ownDialogs(dialogs ? nullptr : std::make_unique<QtDialogs>(this))
    , m_dialogs(dialogs ? dialogs : m_ownDialogs.get())
    , m_model(new FileListModel(this))
    , m_batch(std::make_unique<BatchRun>(*this, *m_dialogs))
    , m_scans(std::make_unique<ScanQueue>())
    , m_showRunState(new QTimer(this))
{
    m_showRunState->setSingleShot(true);
    m_showRunState->setInterval(40);
    connect(m_showRunState, &QTimer::timeout, this, &Form1::showRunState);
    buildControls();
    connectControls();
    buildDetails();
    Form_Load();
}

Form1::~Form1()
{
    // Let go of the tool and the scan before the controls they report to.
    m_batch.reset();
    m_scans.reset();
}

void Form1::buildControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(8040 / TwipsPerPixel, 7440 / TwipsPerPixel);
    // Placed before anything can report a failure: a box opened during the
    // load centres on the window, which is not shown yet.
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    useLightPalette();
    setFont(controlFont());

    auto named = [](QWidget *widget, const char *name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };

    ListView1 = new FileListView(this);
    named(ListView1, "ListView1");
    ListView1->setFileList(m_model);
    place(ListView1, 120, 120, 7800, 1860);
    ListView1->setToolTip(QStringLiteral(
        "Drag and drop files here. Double-click item to remove it. Move | line to right and out "
        "of window to reveal full names."));
    ListView1->setBusyTest([this] { return holdsList(); });

    Frame2 = new QGroupBox(QStringLiteral("Tag Options"), this);
    named(Frame2, "Frame2");
    place(Frame2, 120, 3060, 7800, 2325);
    Label12 = new QLabel(QStringLiteral("Value:"), Frame2);
    named(Label12, "Label12");
    place(Label12, 180, 840, 525, 225);
    Label10 = new QLabel(QStringLiteral("Tag:"), Frame2);
    named(Label10, "Label10");
    place(Label10, 180, 360, 360, 225);
    Combo1 = new QComboBox(Frame2);
    named(Combo1, "Combo1");
    place(Combo1, 1170, 315, 4845, 345);
    Text1 = new QPlainTextEdit(Frame2);
    named(Text1, "Text1");
    place(Text1, 1170, 810, 4845, 1290);
    Text1->setTabChangesFocus(true);

    ProgressBar1 = new QProgressBar(this);
    named(ProgressBar1, "ProgressBar1");
    place(ProgressBar1, 120, 6915, 7800, 405);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    setBarText(QStringLiteral("Progress Bar"));

    auto button = [this, &named](const char *name, const char *text, QWidget *parent) {
        auto *pushButton = new QPushButton(QString::fromLatin1(text), parent);
        named(pushButton, name);
        pushButton->setFont(buttonFont());
        return pushButton;
    };
    PushButton1 = button("PushButton1", "Add JPG File(s)", this);
    place(PushButton1, 120, 2070, 3840, 405);
    PushButton4 = button("PushButton4", "Add All JPG(s) In Folder", this);
    place(PushButton4, 4080, 2070, 3840, 405);
    PushButton3 = button("PushButton3", "Start Changing", this);
    place(PushButton3, 120, 6390, 7800, 405);
    PushButton2 = button("PushButton2", "Clear List", this);
    place(PushButton2, 120, 2580, 3840, 405);
    PushButton5 = button("PushButton5", "Load Sample/Example Files", this);
    place(PushButton5, 4080, 2580, 3840, 405);

    Frame1 = new QGroupBox(QStringLiteral("Save Results To This Folder"), this);
    named(Frame1, "Frame1");
    place(Frame1, 120, 5460, 7800, 810);
    Text2 = new QLineEdit(Frame1);
    named(Text2, "Text2");
    place(Text2, 240, 300, 6630, 345);
    PushButton6 = button("PushButton6", "...", Frame1);
    place(PushButton6, 6960, 300, 600, 345);

    // The keyboard's way through the window.
    const QList<QWidget *> tabOrder{Text1,       ListView1,   Combo1,      PushButton1,
                                    PushButton4, PushButton3, PushButton2, PushButton5,
                                    Text2,       PushButton6};
    for (int i = 0; i + 1 < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i), tabOrder.at(i + 1));
    ProgressBar1->setFocusPolicy(Qt::NoFocus);

    nameControlsForAssistiveTools();
    pressButtonsWithEnter();
    keepFramesWhole();
}

void Form1::connectControls()
{
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);

    // The tag and the results folder are stored at every change.
    connect(Combo1, &QComboBox::currentTextChanged, this,
            [](const QString &text) { Settings::write(Settings::Key::Combo, text); });
    connect(Combo1, &QComboBox::activated, this,
            [this] { Settings::write(Settings::Key::Combo, Combo1->currentText()); });
    connect(Text2, &QLineEdit::textChanged, this,
            [](const QString &text) { Settings::write(Settings::Key::Text2, text); });

    connect(ListView1, &FileListView::pathsDropped, this, &Form1::dropPaths);
    connect(m_scans.get(), &ScanQueue::entriesFound, m_model, &FileListModel::appendListEntries);
    connect(m_scans.get(), &ScanQueue::jobFinished, this, &Form1::onScanFinished);

    // Pointer rules: the hand over the command buttons, the default pointer
    // over the background, the frames, the value box and the list.
    const QList<QWidget *> watched{this,        Frame1,      Frame2,      Text1->viewport(),
                                   ListView1->viewport(),    PushButton1, PushButton2,
                                   PushButton3, PushButton4, PushButton5, PushButton6};
    for (QWidget *widget : watched) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
}

void Form1::Form_Load()
{
    ErrorGuard guard(*m_dialogs, QString::fromLatin1(Location::FormLoad));
    guard.step(100, [&] { ApplySkin(); });
    guard.step(104, [&] {
        const QString hand = dataFilePath(QStringLiteral("/HAND-M.CUR"));
        if (hand.isEmpty() || !FileFound(hand))
            return;
        guard.record(106);
        QPixmap picture;
        if (!picture.load(hand))
            throw Failure(QStringLiteral("Invalid picture"));
        // A plain picture's hotspot is its centre; the fingertip is elsewhere.
        QFile file(hand);
        const std::optional<QPoint> hotspot = file.open(QIODevice::ReadOnly)
            ? cursorHotspot(file.read(64), picture.size())
            : std::nullopt;
        m_customPointer = hotspot ? QCursor(picture, hotspot->x(), hotspot->y()) : QCursor(picture);
    });
    guard.step(107, [&] {
        const QString dragPointer = dataFilePath(QStringLiteral("/drag.ico"));
        if (!dragPointer.isEmpty())
            ListView1->setDragCursor(QCursor(QPixmap(dragPointer)));
    });
    guard.step(108, [&] {
        OccasionalSiteVisit([] { return int(QRandomGenerator::global()->bounded(100)) + 1; },
                            [this](const QString &address) { m_dialogs->openUrl(QUrl(address)); });
    });
    guard.step(126, [&] {
        setWindowTitle(QString::fromLatin1(ProductName));
        setWindowIcon(QIcon(QStringLiteral(":/icons/window")));
        ApplicationTitle();
    });
    guard.step(128, [&] { ListView1->header()->setVisible(true); });
    guard.step(130, [&] { ListView1->setColumnWidth(0, 7000 / TwipsPerPixel); });
    {
        // Filling the list selects its first entry, which is no choice of the
        // user's and must not overwrite the stored one.
        const QSignalBlocker quiet(Combo1);
        int step = 132;
        for (const TagRow &row : TagCatalogue()) {
            guard.step(step, [&] { Combo1->addItem(QString::fromLatin1(row.label)); });
            step += 2;
        }
        Combo1->setCurrentIndex(-1);
    }
    guard.step(158, [&] {
        // A stored label that is not one of the tags selects the first tag,
        // so a run never goes out without one.
        const int index = Combo1->findText(Settings::read(Settings::Key::Combo),
                                           Qt::MatchExactly | Qt::MatchCaseSensitive);
        Combo1->setCurrentIndex(qMax(index, 0));
    });
    guard.step(160, [&] { Text2->setText(Settings::read(Settings::Key::Text2)); });
    Text1->setFocus();
}

void Form1::ApplySkin()
{
    const QString skin = dataFilePath(QStringLiteral("/x/o.cjs"));
    if (skin.isEmpty() || QFileInfo(skin).isHidden() || !QFileInfo(skin).isFile())
        return;
    // Without a skinning engine the look stops at the button-face colours.
    const QColor buttonFace = palette().color(QPalette::Button);
    for (QWidget *widget : {static_cast<QWidget *>(this), static_cast<QWidget *>(Frame1),
                            static_cast<QWidget *>(Frame2), static_cast<QWidget *>(Label10),
                            static_cast<QWidget *>(Label12)}) {
        QPalette colours = widget->palette();
        colours.setColor(QPalette::Window, buttonFace);
        widget->setPalette(colours);
        widget->setAutoFillBackground(true);
    }
}

void Form1::PushButton1_Click()
{
    ErrorGuard guard(*m_dialogs, QString::fromLatin1(Location::AddFiles));
    QStringList chosen;
    guard.step(100, [&] { chosen = chooseFilesToAdd(*m_dialogs); });
    guard.step(102, [&] { m_model->appendEntries(chosen); });
}

void Form1::PushButton2_Click()
{
    ErrorGuard guard(*m_dialogs, QString::fromLatin1(Location::ClearList));
    guard.step(100, [&] {
        if (!holdsList())
            m_model->clear();
    });
}

void Form1::PushButton3_Click()
{
    if (m_batch->BatchBusy())
        m_batch->requestStop();
    else
        m_batch->PushButton3_Click();
}

void Form1::PushButton4_Click()
{
    ErrorGuard guard(*m_dialogs, QString::fromLatin1(Location::AddFolder));
    const std::optional<ScanItem> scan = askFolderToAdd(*m_dialogs, guard);
    if (!scan)
        return;
    guard.step(108, [&] {
        setMousePointer(Pointer::Hourglass);
        m_folderCommandJobs.insert(m_scans->enqueue({*scan}));
    });
}

void Form1::PushButton5_Click()
{
    ErrorGuard guard(*m_dialogs, QString::fromLatin1(Location::LoadSamples));
    guard.step(100, [&] {
        QString samples = dataFilePath(QStringLiteral("/Samples"));
        if (samples.isEmpty())
            samples = programFolder() + nativeSeparator() + QStringLiteral("Samples");
        LoadSampleFiles(*m_model, *m_dialogs, samples);
    });
}

void Form1::PushButton6_Click()
{
    ErrorGuard guard(*m_dialogs, QString::fromLatin1(Location::ResultsFolder));
    QString folder;
    guard.step(100, [&] { folder = chooseResultsFolder(*m_dialogs); });
    guard.step(102, [&] {
        if (!folder.isEmpty())
            Text2->setText(folder); // stored by the box's change handler
    });
}

void Form1::dropPaths(const QList<QByteArray> &paths)
{
    QList<ScanItem> items;
    for (const QByteArray &dropped : paths) {
        const ListEntry entry = ListEntry::fromNative(dropped);
        const QString path = withoutClosingSeparator(entry.text);
        // A folder whose name is not valid text cannot be scanned by its
        // text; it is listed as it is and the run names it.
        if (entry.path == Platform::encodeName(entry.text) && IsFolder(path)) {
            items.append(droppedFolderScan(path));
        } else {
            ScanItem file;
            file.kind = ScanItem::Kind::File;
            file.path = entry.text;
            file.nativePath = entry.path;
            items.append(file);
        }
    }
    if (!items.isEmpty())
        m_scans->enqueue(items);
}

void Form1::onScanFinished(int jobId, const QList<ScanFailure> &failures)
{
    for (const ScanFailure &failure : failures)
        m_dialogs->warning(QString::fromLatin1(ErrorReportCaption),
                           errorReportText(failure.description, failure.location, failure.step));
    if (m_folderCommandJobs.remove(jobId))
        showWorkingPointer();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing ends the program without a question; a result file the run
    // had not finished is removed on the way.
    m_batch->abandon();
    event->accept();
}

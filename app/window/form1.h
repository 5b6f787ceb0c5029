#pragma once

#include <QCursor>
#include <QSet>
#include <QWidget>
#include <memory>

#include "writer/command/batchrun.h"

class DetailsPanel;
class FileListModel;
class FileListView;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class ScanQueue;
class ValueChoice;
struct ScanFailure;

// Values of the window's mouse pointer.
namespace Pointer {
inline constexpr int Default = 0;
inline constexpr int Hourglass = 11;
inline constexpr int Custom = 99; // the hand over the command buttons
} // namespace Pointer

// The one window: file list, tag options, results folder, commands and bar.
class Form1 : public QWidget, public BatchHost {
    Q_OBJECT
public:
    // dialogs: the window's own when null (tests pass a fake).
    explicit Form1(Dialogs *dialogs = nullptr, QWidget *parent = nullptr);
    ~Form1() override;

    Dialogs &dialogs() { return *m_dialogs; }
    FileListModel &fileList() { return *m_model; }
    BatchRun &batchRun() { return *m_batch; }
    ScanQueue &scanQueue() { return *m_scans; }

    int mousePointer() const { return m_pointer; }
    void setMousePointer(int style);

    // BatchHost
    int entryCount() const override;
    QString entryText(int position) const override;
    QByteArray entryPath(int position) const override;
    QString tagLabel() const override;
    QString tagValue() const override;
    QString valueWay() const override;
    bool hasOwnValues() const override;
    std::optional<QString> entryValue(int position) const override;
    QString resultsFolder() const override;
    void setBusyPointer(bool busy) override;
    void setBarValue(int value) override;
    int barValue() const override { return m_barValue; }
    void setBarText(const QString &text) override;
    QString barText() const override { return m_barText; }
    void setRunning(bool running) override;
    void setRunProgress(int done, int total) override;
    void focusValue() override;

    // The commands behind the buttons.
    void PushButton1_Click(); // Add JPG File(s)
    void PushButton2_Click(); // Clear List
    void PushButton3_Click(); // Start Changing, or Stop while a run works
    void PushButton4_Click(); // Add All JPG(s) In Folder
    void PushButton5_Click(); // Load Sample/Example Files
    void PushButton6_Click(); // ... beside the results folder

    // Files and folders dropped on the list, in order, as native bytes.
    void dropPaths(const QList<QByteArray> &paths);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void useLightPalette();
    void nameControlsForAssistiveTools();
    void pressButtonsWithEnter();
    void keepFramesWhole();
    void buildDetails();
    void Form_Load();
    void ApplySkin();
    void connectControls();
    void applyPointerRule(int style);
    void showWorkingPointer();
    void onScanFinished(int jobId, const QList<ScanFailure> &failures);
    void lockTagChoice(bool locked);
    bool holdsList() const;
    bool holdsListOrder(QObject *watched, QEvent *event) const;

    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs *m_dialogs;
    FileListModel *m_model;
    std::unique_ptr<BatchRun> m_batch;
    std::unique_ptr<ScanQueue> m_scans;
    DetailsPanel *m_details = nullptr; // the selected picture and its details window
    ValueChoice *m_values = nullptr;   // how the value is used, and values from a spreadsheet
    QSet<int> m_folderCommandJobs; // scans that hold the hourglass
    bool m_runHoldsHourglass = false;
    bool m_running = false;  // a run has taken the list, the tag, the value and the folder
    QString m_idleTitle;

    int m_pointer = Pointer::Default;
    QCursor m_customPointer{Qt::PointingHandCursor};
    int m_barValue = 0;
    QString m_barText;
    QString m_runTitle;
    // During a run the bar and the title show the newest state once a frame,
    // not once a file: hundreds of repaints a second only take processor
    // time from the tools.
    QTimer *m_showRunState = nullptr;
    void scheduleRunState();
    void showRunState();

    FileListView *ListView1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label12 = nullptr;
    QComboBox *Combo1 = nullptr;
    QPlainTextEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QPushButton *PushButton1 = nullptr;
    QPushButton *PushButton2 = nullptr;
    QPushButton *PushButton3 = nullptr;
    QPushButton *PushButton4 = nullptr;
    QPushButton *PushButton5 = nullptr;
    QPushButton *PushButton6 = nullptr;
};

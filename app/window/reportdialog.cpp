#include "app/window/reportdialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include "app/window/frameontop.h"

ReportDialog::ReportDialog(const QString &title, const QString &text, const QString &details,
                           QWidget *parent)
    : QDialog(parent), m_text(text), m_details(details)
{
    setWindowTitle(title);
    setSizeGripEnabled(true);
    resize(640, 420);

    auto *label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("reportText"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);

    auto *view = new QPlainTextEdit(this);
    view->setObjectName(QStringLiteral("reportDetails"));
    view->setReadOnly(true);
    view->setPlainText(details);
    // Long paths wrap instead of needing a sideways scroll.
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view->setAccessibleName(tr("Report"));
    view->setAccessibleDescription(text);
    new FrameOnTop(view);

    auto *buttons = new QDialogButtonBox(this);
    m_buttons = buttons;
    QPushButton *copy = buttons->addButton(tr("Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("copyReport"));
    QPushButton *save = buttons->addButton(tr("Save Report…"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("saveReport"));
    QPushButton *ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setDefault(true);
    connect(copy, &QPushButton::clicked, this, &ReportDialog::copyReport);
    connect(save, &QPushButton::clicked, this, &ReportDialog::saveReport);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(view, 1);
    layout->addWidget(buttons);
}

QString ReportDialog::reportText() const
{
    return m_text + QStringLiteral("\n\n") + m_details;
}

QPushButton *ReportDialog::addActionButton(const QString &text)
{
    return m_buttons->addButton(text, QDialogButtonBox::ActionRole);
}

void ReportDialog::copyReport()
{
    QGuiApplication::clipboard()->setText(reportText());
}

void ReportDialog::saveReport()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Report"),
                                                      QStringLiteral("Ostrell report.txt"),
                                                      tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(reportText().toUtf8()) < 0 || !file.commit()) {
        QMessageBox box(QMessageBox::NoIcon, windowTitle(),
                        tr("The report could not be saved to %1:\n%2").arg(path, file.errorString()),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
}

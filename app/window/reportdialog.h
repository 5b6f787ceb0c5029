#pragma once

#include <QDialog>

class QDialogButtonBox;
class QPlainTextEdit;
class QPushButton;

// The end of a run with its details: a resizable view of plain text that can
// be copied or saved, for reports too long for a message box.
class ReportDialog : public QDialog {
    Q_OBJECT
public:
    ReportDialog(const QString &title, const QString &text, const QString &details,
                 QWidget *parent = nullptr);

    // The text the buttons copy and save: the main text, a blank line, the details.
    QString reportText() const;

    // One more button beside Copy and Save; like them it leaves the report open.
    QPushButton *addActionButton(const QString &text);

private:
    void copyReport();
    void saveReport();

    QString m_text;
    QString m_details;
    QDialogButtonBox *m_buttons = nullptr;
};

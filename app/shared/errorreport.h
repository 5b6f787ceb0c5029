#pragma once

#include <QString>
#include <exception>
#include <stdexcept>
#include <utility>

class Dialogs;

// An unexpected failure inside a guarded procedure. Routines throw it with the
// one-line description the user will read in the report.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString &description)
        : std::runtime_error(description.toStdString()) {}
};

// Where a report says the failure happened. Each text ends with one blank.
namespace Location {
inline constexpr char FormLoad[] = "in Ostrell2021/08/31.Form1.Form_Load ";
inline constexpr char AddFiles[] = "in Ostrell2021/08/31.Form1.PushButton1_Click ";
inline constexpr char AddFolder[] = "in Ostrell2021/08/31.Form1.PushButton4_Click ";
inline constexpr char SubFolderScan[] = "in DorvanTitle2021/08/31.AddFolder.GetSubDirectories2016 ";
inline constexpr char ClearList[] = "in Ostrell2021/08/31.Form1.PushButton2_Click ";
inline constexpr char LoadSamples[] = "in Ostrell2021/08/31.Form1.PushButton5_Click ";
inline constexpr char StartChanging[] = "in Ostrell2021/08/31.Form1.PushButton3_Click ";
inline constexpr char ResultsFolder[] = "in Ostrell2021/08/31.Form1.PushButton6_Click ";
} // namespace Location

inline constexpr char ErrorReportCaption[] = "Application Error";

// The report's text: description, CR LF, location, "at line ", step, CR CR,
// and the request to mail a screenshot to the support address.
QString errorReportText(const QString &description, const QString &location, int step);

// The error trap of one run of a guarded procedure. Each numbered step runs
// through step(); a failure inside it, also deep in a called routine, is
// reported with the last step number and swallowed, so the procedure goes on
// with its next step.
class ErrorGuard {
public:
    ErrorGuard(Dialogs &dialogs, QString location);

    // Records the number, then runs the work. False when it failed.
    template <typename Work>
    bool step(int number, Work &&work)
    {
        m_lastStep = number;
        return attempt(std::forward<Work>(work));
    }

    // Runs work under the trap without recording a new step number (work
    // before the first step, or the continuation of the last recorded one).
    template <typename Work>
    bool attempt(Work &&work)
    {
        try {
            std::forward<Work>(work)();
            return true;
        } catch (const std::exception &e) {
            report(QString::fromStdString(e.what()));
        } catch (...) {
            report(QStringLiteral("Unknown failure"));
        }
        return false;
    }

    void record(int number) { m_lastStep = number; }
    const QString &location() const { return m_location; }

    // Shows the "Application Error" box for the last recorded step.
    void report(const QString &description);

private:
    Dialogs &m_dialogs;
    QString m_location;
    int m_lastStep = 0;
};

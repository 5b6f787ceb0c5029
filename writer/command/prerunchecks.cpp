#include "writer/command/prerunchecks.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/shared/paths.h"
#include "platform/toolprocess.h"
#include "writer/tags/datevalue.h"
#include "writer/tags/tagcatalogue.h"

namespace {

const char NoFolderText[] = "Folder does not exist. Please select another folder.";

bool isXpTag(const QString &tagName)
{
    return tagName.startsWith(QLatin1String("XP"), Qt::CaseInsensitive);
}

// The first character of the text beyond U+FFFF (a lone surrogate counts as
// one, as it cannot be stored either): its position, or -1.
int firstBeyondBasicPlane(const QString &text)
{
    for (int i = 0; i < text.size(); ++i)
        if (text.at(i).isSurrogate())
            return i;
    return -1;
}

} // namespace

QString valueRefusal(const QString &tagLabel, const QString &value)
{
    const std::optional<QString> option = TagOptionFor(tagLabel);
    if (!option || value.isEmpty())
        return QString();
    const QString tagName = TagNameOf(*option);
    if (isDateTag(tagName) && !exifToolAcceptsDate(value))
        return invalidDateMessage(value);
    const int at = firstBeyondBasicPlane(value);
    if (isXpTag(tagName) && at >= 0) {
        // ExifTool stores these tags as UCS-2 and would drop the character without a word.
        const QChar first = value.at(at);
        const bool pair = first.isHighSurrogate() && at + 1 < value.size()
            && value.at(at + 1).isLowSurrogate();
        const char32_t code = pair ? QChar::surrogateToUcs4(first, value.at(at + 1)) : first.unicode();
        const QString shown = pair ? value.mid(at, 2) : QString(QChar::ReplacementCharacter);
        return QStringLiteral("The tag \"%1\" cannot hold the character \"%2\" (U+%3) of the "
                              "value: the Windows XP tags (Title, Subject, Keywords, Author, "
                              "Comment) store no characters beyond U+FFFF, such as emoji. "
                              "Please remove it and try again.")
            .arg(tagLabel, shown, QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0')));
    }
    return QString();
}

RunChecks checkBeforeRun(const QString &resultsFolder, const QString &toolProgram)
{
    RunChecks checks;
    checks.folderExists = IsFolder(resultsFolder);
    if (checks.folderExists) {
        // Creating a file takes both the right to write the folder and to enter it.
        const QFileInfo folder(resultsFolder);
        checks.folderWritable = folder.isWritable() && folder.isExecutable();
    }
    // The ExifTool shipped beside the program comes first: a package carries
    // the one it was tested with.
    checks.tool = QStandardPaths::findExecutable(toolProgram, {QCoreApplication::applicationDirPath()});
    if (checks.tool.isEmpty())
        checks.tool = QStandardPaths::findExecutable(toolProgram);
    return checks;
}

QString checksRefusal(const RunChecks &checks, const QString &resultsFolder)
{
    if (!checks.folderExists)
        return QString::fromLatin1(NoFolderText);
    if (!checks.folderWritable)
        return QStringLiteral("Files cannot be created in the folder \"%1\". "
                              "Please select another folder.")
            .arg(resultsFolder);
    if (checks.tool.isEmpty()) // without the tool every file would fail
        return QStringLiteral("ExifTool was not found. ") + Platform::toolInstallHint();
    return QString();
}

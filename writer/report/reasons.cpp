#include "writer/report/reasons.h"

#include <iterator>

#include "platform/files.h"

namespace {

struct ReasonRow {
    Reason reason;
    const char *words;
};

// clang-format off
constexpr ReasonRow kReasons[] = {
    {Reason::CommandNotMade, "The command for this file could not be made."},
    {Reason::NotFullPath, "This is not a full path."},
    {Reason::OutsideResultsFolder, "The copy would not go into the run's results folder."},
    {Reason::IsFolder, "This is a folder, not a file."},
    {Reason::IsNamedPipe, "This is a named pipe, not a picture file."},
    {Reason::IsSocket, "This is a socket, not a picture file."},
    {Reason::IsDevice, "This is a device, not a picture file."},
    {Reason::FileGone, "The file is not there any more."},
    {Reason::FileUnreadable, "The file cannot be read (%1)."},
    {Reason::FileEmpty, "The file is empty."},
    {Reason::IsPng, "This is a PNG picture, not a JPEG picture."},
    {Reason::IsGif, "This is a GIF picture, not a JPEG picture."},
    {Reason::IsTiff, "This is a TIFF picture (or a camera's raw file), not a JPEG picture."},
    {Reason::IsWebp, "This is a WebP picture, not a JPEG picture."},
    {Reason::IsHeif, "This is a HEIF picture, not a JPEG picture."},
    {Reason::IsVideo, "This is an MP4 or QuickTime video, not a JPEG picture."},
    {Reason::NotJpeg, "This is not a JPEG picture."},
    {Reason::FolderUnderFinalName, "A folder of this name is in the results folder."},
    {Reason::ResultsUnreadable, "The results folder cannot be read (%1)."},
    {Reason::ResultsNotWritable, "The results folder cannot be written to (%1)."},
    {Reason::ResultsPathTooLong, "The results folder's path (%1 characters) is too long for ExifTool to "
                                 "work in on this system; choose a results folder with a shorter path."},
    {Reason::ResultsNoAnswer, "The results folder did not answer within %1."},
    {Reason::FileNoAnswer, "The file system did not answer for this file within %1."},
    {Reason::PathNotExact, "The path \"%1\" holds a line break, a leading blank or a leading \"#\" "
                           "together with \"$\", \"@\" or bytes that are not UTF-8; ExifTool cannot "
                           "be given such a path exactly."},
    {Reason::PercentCodeInFolder, "The results folder \"%1\" holds \"%\" followed by a letter, which "
                                  "ExifTool reads as a code for part of a file name; choose a results "
                                  "folder whose name has no such \"%\"."},
    {Reason::NameHasRefused, "The results folder's file system (%2) cannot hold the character \"%1\" in a "
                             "file name; rename the file, or choose a results folder on another disk."},
    {Reason::NameHasControl, "The results folder's file system (%2) cannot hold a control character "
                             "(code %1 in hexadecimal) in a file name; rename the file, or choose a "
                             "results folder on another disk."},
    {Reason::NameIsDevice, "Windows opens a file named %1, with or without an extension, as its device "
                           "%1, not as a file, so the results folder's file system (%2) cannot hold this "
                           "name for Windows; rename the file, or choose a results folder on another disk."},
    {Reason::NameEndsBadly, "The results folder's file system (%2) cannot hold a file name that ends in "
                            "%1; rename the file, or choose a results folder on another disk."},
    {Reason::CaseClashThere, "A file named %1 is already in the results folder, and its file system (%2) "
                             "takes names that differ only in case for one; it was left as it is."},
    {Reason::TooLargeForFileSystem, "The file is too large for the results folder's file system (%1), "
                                    "which holds files under 4 GB."},
    {Reason::NoExclusiveCreate, "The results folder's file system (%1) cannot create a file without "
                                "risking to replace one (%2), so no copy can be written there; choose "
                                "a results folder on another disk."},

    {Reason::ToolTimedOut, "ExifTool did not finish this file within %1."},
    {Reason::ToolCouldNotStart, "ExifTool could not be started (%1)."},
    {Reason::ToolKeepsEnding, "ExifTool keeps ending on its own (%1)"},
    {Reason::ToolStoppedUnexpectedly, "ExifTool stopped unexpectedly."},
    {Reason::ToolEndedUnexpectedly, "ExifTool ended unexpectedly (exit code %1)."},
    {Reason::ToolEndedBeforeFile, "ExifTool ended before it finished this file."},
    {Reason::ToolExitStatus, "(exit status %1)"},
    {Reason::ToolNameTaken, "A file of this name is already in the results folder"},
    {Reason::ToolSawOtherContent, "The file is not a JPEG picture: its content is %1"},
    {Reason::ToolUnreadableJpeg, "The file is not a readable JPEG picture"},
    {Reason::ToolCannotOpen, "The file could not be opened: it is missing or not readable"},
    {Reason::ToolInvalidDate, "The value is not a date and time ExifTool accepts (YYYY:MM:DD HH:MM:SS)"},
    {Reason::ToolValueTooLarge, "The value is too large for one EXIF block: ExifTool split the "
                                "metadata, and most programs cannot read it"},
    {Reason::ToolDroppedMetadata, "ExifTool dropped damaged metadata of the source from the copy"},
    {Reason::ToolDamagedMetadata, "The file's metadata is damaged, so ExifTool would not write a copy"},
    {Reason::ToolCannotCreate, "The copy could not be created in the results folder: it is not "
                               "writable, or the disk is full"},
    {Reason::ToolCouldNotWrite, "ExifTool could not write the copy"},
    {Reason::ToolGaveNoReason, "ExifTool did not write the copy and gave no reason"},

    {Reason::SourceCannotBeRead, "The source cannot be read: %1"},
    {Reason::CopyCannotBeRead, "The copy cannot be read: %1"},
    {Reason::ChangedWhileRead, "it changed while being read"},
    {Reason::NotRegularFile, "not a regular file"},
    {Reason::SourceNotWhole, "The source is not a whole JPEG picture: %1"},
    {Reason::CopyNotWhole, "The copy is not a whole JPEG picture: %1"},
    {Reason::NotJpegStart, "it does not begin like a JPEG file"},
    {Reason::EndsBeforePicture, "it ends before its picture data"},
    {Reason::NoPictureData, "it holds no picture data"},
    {Reason::SegmentPastEnd, "a segment runs past the end of the file"},
    {Reason::EndsInsidePicture, "it ends inside its picture data"},
    {Reason::PictureDiffers, "The picture data of the copy differs from the source"},
    {Reason::TagCannotBeChecked, "The tag %1 cannot be checked"},
    {Reason::MetadataSplit, "ExifTool split the metadata over %1 EXIF blocks, which most programs "
                            "cannot read (the value is too large for one)"},
    {Reason::Exiv2CannotReadCopy, "Exiv2 cannot read the copy"},
    {Reason::Exiv2CannotReadMetadata, "Exiv2 cannot read the metadata of the copy: %1"},
    {Reason::TagLeftForEmptyValue, "ExifTool left %1 in the copy, holding \"%2\", although the value "
                                   "typed was empty"},
    {Reason::DateNotTaken, "ExifTool did not take \"%1\" as a date and time, and stored none"},
    {Reason::TagNotStored, "ExifTool did not store %1 in the copy"},
    {Reason::StoredInstead, "ExifTool stored \"%1\" instead of the value typed"},
    {Reason::StoredForNow, "ExifTool stored \"%1\" for now, which is not a date and time"},
    {Reason::NoCharactersBeyondUcs2, "%1 cannot hold characters such as emoji: %2"},
    {Reason::ShownInstead, "Windows Explorer shows this picture's %1 instead of its %2: \"%3\""},

    {Reason::NameTaken, "A file named %1 is already in the results folder; it was left as it is."},
    {Reason::NameTakenGroup, "A file of the same name is already in the results folder; it was left "
                             "as it is."},
    {Reason::SameNameFirst, "Another listed file of the same name, %1, was written to this place first."},
    {Reason::SameNameGroup, "Another listed file of the same name was written to this place first."},
    {Reason::CameFirst, "%1 came first"},
    {Reason::CaseClashInRun, "Another listed file, %1, was written to this place first under a name "
                             "that differs only in case, and the results folder's file system (%2) "
                             "takes such names for one."},
    {Reason::CaseClashGroup, "Another listed file was written to this place first under a name that "
                             "differs only in case, and the results folder's file system takes such "
                             "names for one."},
    {Reason::ClaimChanged, "Another program took the copy's name in the results folder while the copy "
                           "was checked; what it put there was left as it is."},
    {Reason::ResultMissing, "ExifTool reported success, but the result file is missing."},
    {Reason::CopyUnopened, "The copy cannot be read (%1)."},
    {Reason::NotPlainOwnFile, "ExifTool's result is not a plain file of this user's."},
    {Reason::RunStopped, "The run was stopped."},
    {Reason::NotSavedToDisk, "The copy could not be saved to disk (%1)."},
    {Reason::RunGaveUp, "The run gave up on this file."},
    {Reason::NoSafeRename, "The results folder cannot give the copy its name without risking to "
                           "replace a file there (its file system has no safe way to do it: %1)."},
    {Reason::NotNamed, "The copy could not be given its name (%1)."},
    {Reason::CheckAndSaveNoAnswer, "The file system did not finish checking and saving this copy "
                                   "within %1."},
    {Reason::StoppedWhileWriting, "The run was stopped while this copy was being written; no copy "
                                  "was kept."},
    {Reason::DiskFull, "the disk is full"},
    {Reason::DiskGone, "the disk was removed or stopped answering"},
    {Reason::DiskReadOnly, "the disk is read-only"},
    {Reason::ToolCannotCreateOn, "The copy could not be created in the results folder: %1"},

    {Reason::NotStarted, "Not started: the run was stopped first"},
    {Reason::NotedChange, "ExifTool noted a change of the copy's metadata"},
    {Reason::NoReasonGiven, "No reason was given"},
};
// clang-format on

constexpr bool inReasonOrder()
{
    for (int i = 0; i < int(std::size(kReasons)); ++i)
        if (int(kReasons[i].reason) != i)
            return false;
    return true;
}
static_assert(std::size(kReasons) == std::size_t(Reason::Count) && inReasonOrder(),
              "one row per reason, in the order of the enum");

QString wordsOf(Reason reason)
{
    return QString::fromUtf8(kReasons[int(reason)].words);
}

} // namespace

QString because(Reason reason)
{
    return wordsOf(reason);
}

QString because(Reason reason, const QString &first)
{
    return wordsOf(reason).arg(first);
}

QString because(Reason reason, const QString &first, const QString &second)
{
    return wordsOf(reason).arg(first, second);
}

QString because(Reason reason, const QString &first, const QString &second, const QString &third)
{
    return wordsOf(reason).arg(first, second, third);
}

QString diskWords(Platform::DiskState state)
{
    switch (state) {
    case Platform::DiskState::Full:
        return because(Reason::DiskFull);
    case Platform::DiskState::Gone:
        return because(Reason::DiskGone);
    case Platform::DiskState::ReadOnly:
        return because(Reason::DiskReadOnly);
    case Platform::DiskState::Answering:
        break;
    }
    return QString();
}

QString systemWords(int error)
{
    const QString words = diskWords(Platform::diskStateOf(error));
    return words.isEmpty() ? Platform::errorText(error) : words;
}

QString timeLimitText(int timeoutMs)
{
    if (timeoutMs % 60000 == 0)
        return QStringLiteral("%1 minute%2")
            .arg(timeoutMs / 60000)
            .arg(timeoutMs == 60000 ? QString() : QStringLiteral("s"));
    return QStringLiteral("%1 seconds").arg(QString::number(timeoutMs / 1000.0));
}

#pragma once

#include <QList>
#include <QString>

#include "writer/engine/fileoutcome.h"

// "Done." when nothing failed; else "Done. N of M files could not be written."
// ("file" for 1). With stopped, "Stopped." or "Stopped. N of M ...". N counts
// Failed and Stopped; AlreadyThere and WrittenWithNotes count as written.
QString endMessage(const QList<FileOutcome> &outcomes, int total, bool stopped);

// Plain-text details: failures grouped by reason, most frequent first, each
// with its count, ExifTool's line and the command line once, then its files;
// then the copies written with notes (ExifTool's, or a tag Windows shows
// in place of the one written), without command lines. Empty when there is
// nothing to tell.
QString reportDetails(const QList<FileOutcome> &outcomes);

// What this run cleared of runs that died (a crash, a kill, a card pulled),
// and the names it left because it could not tell them from another
// program's files. Empty when there was nothing.
QString earlierRunsNote(int claimsCleared, const QList<QByteArray> &leftAsTheyAre);
// This run's folder, kept with the files another program held open in it;
// empty when it went.
QString keptRunFolderNote(const QByteArray &folder, const QList<QByteArray> &files);

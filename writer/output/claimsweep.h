#pragma once

#include "writer/output/claimjournal.h"

// Clears from the results folder the claims a dead run left unfinished,
// only while each is provably the file it made: holding its mark; empty and
// made when it meant to claim the name; or holding the first part of the
// copy it was filling from, with nothing else in it. A claim that holds the
// whole copy stays: it was checked before it was filled. Hidden names a FUSE
// file system made of a claim replaced while still open go too, by the mark
// they hold. What cannot be proved is left and named in `found`.
//
// Blocks on the file system: worker threads only.
void sweepDeadClaims(int deadRunFolder, int results, bool stableFileNumbers, LeftBehind *found);

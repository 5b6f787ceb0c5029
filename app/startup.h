#pragma once

#include <QString>
#include <functional>

inline constexpr char ProductName[] = "Ostrell";

// Cuts the name before its last blank until it is at most 40 characters,
// at least once. A name without a blank cannot be cut and stays whole.
QString titleFromProductName(const QString &productName);

// Sets the process-wide application title (the caption of message boxes that
// name none) from the product name, and returns it.
QString ApplicationTitle();

// On about one start in a hundred opens the maker's web site. The draw gives
// a whole number from 1 to 100; the launcher opens the address. Nothing
// happens while the address is empty.
void OccasionalSiteVisit(const std::function<int()> &drawOneToHundred,
                         const std::function<void(const QString &)> &openAddress,
                         const QString &address = QStringLiteral(OSTRELL_SITE_ADDRESS));

// The folder of the executable, without a closing separator unless it is a root.
QString programFolder();

// Path of an optional data file, given with a leading separator ("/HAND-M.CUR",
// "/Samples/"): beside the executable when it is there, else in the data
// folder of the tree the executable is installed in, else in the data folder
// fixed at build time. Empty when none holds it.
QString dataFilePath(const QString &suffix);

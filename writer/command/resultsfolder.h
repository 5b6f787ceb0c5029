#pragma once

#include <QString>

class Dialogs;

// "..." beside the results folder: the folder picked, starting in
// "LastFolder", with a closing separator added only when missing; "" on
// cancel. "LastFolder" itself is never written here.
QString chooseResultsFolder(Dialogs &dialogs);

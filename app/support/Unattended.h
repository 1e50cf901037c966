#pragma once

#include <QString>

// Running with nobody at the screen. The service starts the program with
// HOLLVAN_UNATTENDED=1, and a stop signal puts a running program in this mode
// for the rest of its run. The message dialog and the exception display then
// write to standard error, which the service manager keeps in its journal,
// instead of waiting for a click that never comes.
bool isUnattended();
void setUnattended();

// One line "Hollvan: <text>" on standard error; line ends in the text become
// " / ", so a journal entry stays one line.
void reportToStderr(const QString &text);

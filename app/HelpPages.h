#pragma once

#include <QString>

// The operator help: HTML pages in the folder help of the working directory,
// named by a language prefix and a page name (help/pl_main.html), opened in
// the desktop's default viewer.

// Page kinds of the main window's Help button; any other kind is the
// introduction.
enum HelpPageKind : int {
    HelpPageMain = 1, // not logged in
    HelpPageConfig = 2, // logged in, serial port closed
    HelpPageOpen = 3, // logged in, serial port open
    HelpPageIntro = 0,
};

enum class HelpLanguage { Polish, English };

// The page the Help button opens: only the login and the serial port count,
// the server's state plays no part.
int helpPageKind(bool loggedIn, bool portConnected);

// "main.html", "config.html", "open.html", or "intro.html" for any other kind.
QString helpPageName(int pageKind);

// The page's path relative to the working directory: "help/" + prefix + name,
// the prefix being "pl_" for Polish and "en_" for any other language.
QString helpFilePath(const QString &pageName, HelpLanguage language = HelpLanguage::Polish);

// The absolute path of the page when it exists as a file, else an empty text.
QString locateHelpFile(const QString &pageName, HelpLanguage language = HelpLanguage::Polish);

// Opens a help page by name ("dbase.html" for the configuration dialog).
// Returns 0 when the desktop accepted the request, -1 when the page is
// missing or could not be handed over; no message is shown either way.
int openHelpFile(const QString &pageName, HelpLanguage language = HelpLanguage::Polish);

// Opens the main window's help page of the given kind; 0 or -1 as above.
int OpenHelpPage(int pageKind, HelpLanguage language = HelpLanguage::Polish);

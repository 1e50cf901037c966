#include "app/HelpPages.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

int helpPageKind(bool loggedIn, bool portConnected)
{
    if (!loggedIn)
        return HelpPageMain;
    return portConnected ? HelpPageOpen : HelpPageConfig;
}

QString helpPageName(int pageKind)
{
    switch (pageKind) {
    case HelpPageMain:
        return QStringLiteral("main.html");
    case HelpPageConfig:
        return QStringLiteral("config.html");
    case HelpPageOpen:
        return QStringLiteral("open.html");
    default:
        return QStringLiteral("intro.html");
    }
}

QString helpFilePath(const QString &pageName, HelpLanguage language)
{
    const QString prefix
        = language == HelpLanguage::Polish ? QStringLiteral("pl_") : QStringLiteral("en_");
    return QStringLiteral("help/") + prefix + pageName;
}

QString locateHelpFile(const QString &pageName, HelpLanguage language)
{
    const QFileInfo page(helpFilePath(pageName, language));
    return page.isFile() ? page.absoluteFilePath() : QString();
}

int openHelpFile(const QString &pageName, HelpLanguage language)
{
    // The desktop's opener may accept a missing file and fail later, out of
    // our sight, so a page that is not there is refused here.
    const QString path = locateHelpFile(pageName, language);
    if (path.isEmpty())
        return -1;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path)) ? 0 : -1;
}

int OpenHelpPage(int pageKind, HelpLanguage language)
{
    return openHelpFile(helpPageName(pageKind), language);
}

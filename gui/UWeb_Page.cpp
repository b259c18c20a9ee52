#include "UWeb_Page.h"

#include "UComon.h"
#include "ULanguage.h"
#include "UMessage.h"

#include <QDesktopServices>

#include <utility>

namespace {
TWeb_Page_Opener Opener;
}

QUrl Home_Page_Url()
{
    return QUrl(Maker_Site + Home_Page_Path);
}

bool Open_Web_Page(const QUrl &url)
{
    const bool opened = Opener ? Opener(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        // The user can still copy the address into a browser of their own.
        Message_Box(Lang(1142).arg(url.toString()), TMessage_Kind::Error);
    }
    return opened;
}

TWeb_Page_Opener Set_Web_Page_Opener(TWeb_Page_Opener opener)
{
    return std::exchange(Opener, std::move(opener));
}

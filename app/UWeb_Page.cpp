#include "UWeb_Page.h"

#include "UComon.h"

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
    if (Opener)
        return Opener(url);
    return QDesktopServices::openUrl(url);
}

TWeb_Page_Opener Set_Web_Page_Opener(TWeb_Page_Opener opener)
{
    return std::exchange(Opener, std::move(opener));
}

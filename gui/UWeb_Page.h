#pragma once

// Opening the maker's web pages with the system's default handler for web addresses (the browser).

#include <QString>
#include <QUrl>

#include <functional>

// The maker's home page: the web site with the home page's path and query.
QUrl Home_Page_Url();

// Hands url to the browser; when no handler takes it, an error box names the address and the result is false.
bool Open_Web_Page(const QUrl &url);

// Replaces the hand-over to the browser (tests record the address instead); an empty function puts the
// system's handler back. Returns the previous one.
using TWeb_Page_Opener = std::function<bool(const QUrl &)>;
TWeb_Page_Opener Set_Web_Page_Opener(TWeb_Page_Opener opener);

#include "UAnsi_Paths.h"

#include <QDir>

#ifdef Q_OS_WIN
#include <windows.h>

#include <string>
#endif

namespace {

#ifdef Q_OS_WIN
bool Fits_Code_Page(UINT codePage, const QString &text)
{
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, reinterpret_cast<LPCWCH>(text.utf16()),
                                         int(text.size()), nullptr, 0, nullptr, &usedDefault);
    return size > 0 && !usedDefault;
}

QString First_Unrepresentable_Ansi(const QString &text)
{
    const UINT codePage = GetACP();
    // A system set to UTF-8 as its ANSI code page holds every character.
    if (codePage == CP_UTF8 || text.isEmpty() || Fits_Code_Page(codePage, text))
        return {};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (!Fits_Code_Page(codePage, character))
            return character;
        i += length - 1;
    }
    return {};
}

QString Short_Path_Of(const QString &path)
{
    const std::wstring longPath = QDir::toNativeSeparators(path).toStdWString();
    const DWORD needed = GetShortPathNameW(longPath.c_str(), nullptr, 0);
    if (needed == 0)
        return {};
    std::wstring shortPath(needed, L'\0');
    const DWORD written = GetShortPathNameW(longPath.c_str(), shortPath.data(), needed);
    if (written == 0 || written >= needed)
        return {};
    shortPath.resize(written);
    return QString::fromStdWString(shortPath);
}
#endif

QString Code_Point_Text(const QString &character)
{
    const char32_t codePoint = character.size() == 2 ? QChar::surrogateToUcs4(character.at(0), character.at(1))
                                                     : char32_t(character.at(0).unicode());
    return QStringLiteral("U+") + QString::number(uint(codePoint), 16).toUpper().rightJustified(4, u'0');
}

// What to hand on for path: itself, or its short form with a note; refusal set when neither can be read.
QString Ansi_Form(const QString &path, const TAnsi_System &system, TSerial_Paths &paths, TText_Source texts)
{
    const QString character = system.Unrepresentable(path);
    if (character.isEmpty())
        return path;
    const QString shortPath = system.Short_Path(path);
    if (!shortPath.isEmpty() && system.Unrepresentable(shortPath).isEmpty()) {
        paths.Notes << QStringLiteral("%1 handed on as %2: \"%3\" (%4) is not in the system's code page")
                           .arg(QDir::toNativeSeparators(path), shortPath, character, Code_Point_Text(character));
        return shortPath;
    }
    if (paths.Refusal.isEmpty())
        paths.Refusal = texts(1177).arg(QDir::toNativeSeparators(path), character, Code_Point_Text(character));
    return path;
}

} // namespace

TAnsi_System Native_Ansi_System()
{
#ifdef Q_OS_WIN
    return {First_Unrepresentable_Ansi, Short_Path_Of};
#else
    return {[](const QString &) { return QString(); }, [](const QString &) { return QString(); }};
#endif
}

TSerial_Paths Serial_Updater_Paths(const QString &masterDir, const QString &confDir, const TAnsi_System &system,
                                   TText_Source texts)
{
    TSerial_Paths paths;
    paths.Master_Dir = Ansi_Form(masterDir, system, paths, texts);
    paths.Conf_Dir = Ansi_Form(confDir, system, paths, texts);
    return paths;
}

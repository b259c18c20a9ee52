#include "UScreen_Place.h"

#include <QApplication>
#include <QGuiApplication>
#include <QList>
#include <QScreen>
#include <QScrollArea>
#include <QWidget>

#include <algorithm>

QRect Room_On_Screen(const QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return QRect();
    // The frame is known once the desktop has framed the window; before that it counts as none.
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    return screen->availableGeometry().adjusted(client.left() - frame.left(), client.top() - frame.top(),
                                                client.right() - frame.right(), client.bottom() - frame.bottom());
}

namespace {

constexpr char Scroll_Area_Name[] = "Look_Scroll";

// Keeps the scroll area of a window that scrolls its contents as large as the window.
class TScroll_Fitter : public QObject
{
public:
    TScroll_Fitter(QWidget *window, QScrollArea *area) : QObject(area), Area(area)
    {
        window->installEventFilter(this);
        // A keyboard user sees the control the focus moves to.
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
            if (now && Area->widget() && Area->widget()->isAncestorOf(now))
                Area->ensureWidgetVisible(now);
        });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            Area->setGeometry(static_cast<QWidget *>(watched)->rect());
        return false;
    }

private:
    QScrollArea *Area;
};

// Moves a window's contents, at their designed size, into a scroll area that fills the window. Done once.
void Scroll_Contents(QWidget *window)
{
    if (window->findChild<QScrollArea *>(QLatin1String(Scroll_Area_Name), Qt::FindDirectChildrenOnly))
        return;
    // The tab order as it is: moved widgets keep it.
    QList<QWidget *> order;
    for (QWidget *next = window->nextInFocusChain(); next && next != window; next = next->nextInFocusChain()) {
        if (window->isAncestorOf(next) && (next->focusPolicy() & Qt::TabFocus) && !order.contains(next))
            order.append(next);
    }
    auto *area = new QScrollArea(window);
    area->setObjectName(QLatin1String(Scroll_Area_Name));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(false);
    area->setFocusPolicy(Qt::NoFocus);
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("Look_Scroll_Content"));
    content->resize(window->size());
    const QObjectList children = window->children();
    for (QObject *child : children) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget || widget == area || widget->isWindow())
            continue;
        const bool hidden = widget->isHidden();
        const QRect place = widget->geometry();
        widget->setParent(content);
        widget->setGeometry(place);
        widget->setHidden(hidden);
    }
    area->setWidget(content);
    // The window's own background shows through.
    area->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    area->setGeometry(window->rect());
    area->show();
    for (qsizetype k = 1; k < order.size(); ++k)
        QWidget::setTabOrder(order[k - 1], order[k]);
    new TScroll_Fitter(window, area);
}

} // namespace

void Place_On_Screen(QWidget *window)
{
    const QRect room = Room_On_Screen(window);
    if (room.isEmpty())
        return;
    QSize size = window->size();
    if (size.width() > room.width() || size.height() > room.height()) {
        Scroll_Contents(window);
        size = size.boundedTo(room.size());
        const bool fixed = window->minimumSize() == window->maximumSize();
        window->setMinimumSize(window->minimumSize().boundedTo(size));
        if (fixed)
            window->setMaximumSize(size);
        window->resize(size);
    }
    QRect client(QPoint(), size);
    client.moveCenter(room.center());
    // Centred, and wholly inside the room (its top left corner first, should the room be odd in size).
    client.moveLeft(std::clamp(client.left(), room.left(), std::max(room.left(), room.right() + 1 - size.width())));
    client.moveTop(std::clamp(client.top(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height())));
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    window->move(client.topLeft() - (inner.topLeft() - frame.topLeft()));
}

// Every window of the program wholly on the screen's available area, whatever the screen and the scale
// factor; pictures drawn at the device pixel ratio. scripts/test_screens.sh runs it under Xvfb on screens of
// several sizes and at several QT_SCALE_FACTOR values; offscreen it checks the platform's one screen.

#include "UWindow_Test_Support.h"

#include "UAbout.h"
#include "UBoot.h"
#include "UHistory.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"
#include "UScreen_Place.h"
#include "USoftOptions.h"

#include <QPushButton>
#include <QScreen>
#include <QScrollArea>

using namespace Qt::StringLiterals;

class Test_UScreen_Fit : public QObject
{
    Q_OBJECT

private slots:
    void Every_window_lies_wholly_on_the_screen()
    {
        TProgram_Fixture program;
        // As the program shows its main window (Run_Program).
        program.Main = Create_Program_Windows(program.Dir.path());
        DIRevevoriVezaDiva *main = program.Main.get();
        Place_On_Screen(main);
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        const QRect room = main->screen()->availableGeometry();
        qInfo("screen %dx%d at a device pixel ratio of %g", room.width(), room.height(), main->devicePixelRatioF());

        QStringList off;
        const auto check = [&off, room](QWidget *window) {
            QTest::qWait(50);
            const QRect frame = window->frameGeometry();
            if (!room.contains(frame))
                off.append(u"%1 at %2,%3 %4x%5"_s.arg(window->objectName())
                               .arg(frame.x())
                               .arg(frame.y())
                               .arg(frame.width())
                               .arg(frame.height()));
            // A window smaller than its contents scrolls them: nothing is out of reach.
            if (auto *area = window->findChild<QScrollArea *>(); area && area->widget()) {
                const QSize content = area->widget()->size();
                if ((content.width() > area->viewport()->width() &&
                     area->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff) ||
                    (content.height() > area->viewport()->height() &&
                     area->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff))
                    off.append(window->objectName() + u": contents out of reach"_s);
            }
        };
        check(main);
        for (QDialog *dialog :
             std::initializer_list<QDialog *>{main->FNew_Project, main->FOpenConf, main->FParGen, main->FBoot,
                                              main->FSoftOptions, main->FAbout, main->FHistory}) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            check(dialog);
            dialog->hide();
        }
        QVERIFY2(off.isEmpty(), qPrintable(off.join(u"; "_s)));

        // The pictures are drawn at the screen's pixel density, not scaled up from their size in pixels.
        auto *button = main->findChild<QPushButton *>(u"Btn_New"_s);
        const qreal ratio = main->devicePixelRatioF();
        const QPixmap picture = button->icon().pixmap(button->iconSize(), ratio);
        QCOMPARE(picture.width(), qRound(button->iconSize().width() * ratio));
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_UScreen_Fit)
#include "test_UScreen_Fit.moc"

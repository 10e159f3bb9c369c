// Window placement kept per caption in the per-user store, on real top-level widgets: where it is
// stored, and what is refused. (Every screen and the host's window saved and restored to the pixel:
// the desktop tier.)

#include "support/TestMain.h"

#include "platform/HelperTools.h"
#include "platform/RegistryTools.h"
#include "shared/modSharedWork.h"

#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QWindow>

using namespace tesr;
using namespace tesr::modSharedWork;
using namespace Qt::StringLiterals;

namespace {

const QString kKey = QString::fromLatin1(WindowPositionsKey);
const int kUser = RegistryTools::HKEY_CURRENT_USER_ROOT;

void store(const QString& caption, const QString& text)
{
    QVERIFY(helperFactory().CreateRegistryTools()->WriteString(kUser, kKey, caption, text));
}

// A screen as designed: a normal top-level window at a known place, on the screen.
struct Screen : QWidget {
    explicit Screen(const QRect& designed = QRect(30, 40, 200, 150))
    {
        setGeometry(designed);
        show();
        if (!QTest::qWaitForWindowExposed(this))
            qFatal("the window did not come up");
    }
};

// The outer frame as the window system has it (on a desktop with a window manager, QWidget's
// own account lags behind for a while after the window is framed). Offscreen there is no
// window manager, and the platform nudges a window that lies partly above the screen: what
// was asked for is Qt's own account there.
QRect frame(const QWidget& w)
{
    return QGuiApplication::platformName() == u"offscreen" ? w.frameGeometry() : w.windowHandle()->frameGeometry();
}

} // namespace

class WindowPlacementTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_store;
    int m_caption = 0;
    QString freshCaption() { return u"Placement %1"_s.arg(++m_caption); }

private slots:
    void initTestCase()
    {
        // Every per-user value of this run goes to a folder of its own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_store.path());
        QCOMPARE(QWidget().logicalDpiX(), 96);
    }

    // Placements live under the per-user key; the machine's branch is never written.
    void storeIsTheUsersOwnBranch()
    {
        store(u"New Payment"_s, u"1,2,3,4"_s);
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Varnholt", "Tesserine");
        QCOMPARE(settings.value("Software/Varnholt/Tesserine/5.0/Window Positions/New Payment").toString(),
                 u"1,2,3,4"_s);
        auto registry = helperFactory().CreateRegistryTools();
        QVERIFY(!registry->WriteString(2, kKey, u"Machine"_s, u"x"_s));
        QCOMPARE(registry->ReadString(2, kKey, u"New Payment"_s, u"d"_s), u"d"_s);
    }

    // A stored place off every screen, or text that is no placement, leaves the window as designed.
    void restoreRefuses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("used");
        const int sw = pixelsToTwips(QGuiApplication::primaryScreen()->geometry().width(), 96);
        const int sh = pixelsToTwips(QGuiApplication::primaryScreen()->geometry().height(), 96);
        auto at = [](int top, int left) { return u"%1,%2,6000,4500"_s.arg(top).arg(left); };
        QTest::newRow("left at the screen width") << at(1500, sw) << false;
        QTest::newRow("top at the screen height") << at(sh, 1500) << false;
        QTest::newRow("top minus height") << at(-4500, 1500) << true;
        for (const char* bad : {"1200,2400,9000", "1200,2400,9000,abc", "1.5,2400,9000,6000",
                                "1200,2400,99999999999,6000", "1200,2400,-9000,6000"})
            QTest::newRow(bad) << QString::fromLatin1(bad) << false;
    }
    void restoreRefuses()
    {
        QFETCH(QString, text);
        QFETCH(bool, used);
        const QString caption = freshCaption();
        store(caption, text);
        Screen form;
        const QRect designed = frame(form);
        RestoreWindowPlacement(caption, form, true);
        const QStringList p = text.split(u',');
        if (used)
            QTRY_COMPARE(frame(form), QRect(p[1].toInt() / 15, p[0].toInt() / 15, 400, 300));
        QTest::qWait(20);
        if (!used)
            QCOMPARE(frame(form), designed);
    }
};

TESR_TEST_MAIN(WindowPlacementTest)
#include "tst_window_placement.moc"

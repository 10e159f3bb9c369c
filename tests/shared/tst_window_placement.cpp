// Window placement kept per caption in the per-user store, on real top-level widgets.

#include "support/TestMain.h"

#include "platform/HelperTools.h"
#include "platform/InputTools.h"
#include "platform/RegistryTools.h"
#include "shared/modSharedWork.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

using namespace tesr;
using namespace tesr::modSharedWork;

namespace {

const QString positionsKey = QString::fromLatin1(WindowPositionsKey);

QString stored(const QString& caption)
{
    return helperFactory().CreateRegistryTools()->ReadString(RegistryTools::HKEY_CURRENT_USER_ROOT, positionsKey,
                                                             caption, QStringLiteral("<none>"));
}

void store(const QString& caption, const QString& text)
{
    QVERIFY(helperFactory().CreateRegistryTools()->WriteString(RegistryTools::HKEY_CURRENT_USER_ROOT, positionsKey,
                                                               caption, text));
}

// A screen as designed: a normal top-level window at a known place.
class Screen : public QWidget {
public:
    explicit Screen(const QRect& designed = QRect(120, 90, 400, 300))
    {
        setGeometry(designed);
        show();
    }
};

int screenWidthTwips()
{
    return pixelsToTwips(QGuiApplication::primaryScreen()->geometry().width(), 96);
}

int screenHeightTwips()
{
    return pixelsToTwips(QGuiApplication::primaryScreen()->geometry().height(), 96);
}

class CountingFactory : public HelperFactory {
public:
    std::unique_ptr<RegistryTools> CreateRegistryTools() override
    {
        ++registries;
        return HelperFactory::CreateRegistryTools();
    }
    int registries = 0;
};

} // namespace

class WindowPlacementTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_store;
    int m_caption = 0;
    QString freshCaption() { return QStringLiteral("Placement %1").arg(++m_caption); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_store.isValid());
        // Every per-user value of this run goes to a folder of its own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_store.path());
        QCOMPARE(QWidget().logicalDpiX(), 96);
    }
    void cleanup() { setHelperFactory(nullptr); }

    void twips_data()
    {
        QTest::addColumn<int>("pixels");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("twips");
        QTest::newRow("15 per pixel at 96") << 100 << 96 << 1500;
        QTest::newRow("12 per pixel at 120") << 100 << 120 << 1200;
        QTest::newRow("10 per pixel at 144") << 1 << 144 << 10;
        QTest::newRow("negative") << -7 << 96 << -105;
        QTest::newRow("rounded at 110") << 3 << 110 << 39;
    }
    void twips()
    {
        QFETCH(int, pixels);
        QFETCH(int, dpi);
        QFETCH(int, twips);
        QCOMPARE(pixelsToTwips(pixels, dpi), twips);
        QCOMPARE(twipsToPixels(twips, dpi), pixels);
    }

    void registryRoundTrip_data()
    {
        QTest::addColumn<QString>("valueName");
        QTest::addColumn<QString>("text");
        QTest::newRow("placement") << "New Payment"
                                   << "1200,2400,9000,6000";
        QTest::newRow("empty") << "Edit Payment"
                               << "";
        QTest::newRow("commas and blanks") << "Allocate Credit"
                                           << " a, b ,c ";
        QTest::newRow("quotes") << "Customer Payments"
                                << "say \"hi\" 'there'";
        QTest::newRow("looks like a variant") << "Order Payments"
                                              << "@Variant(junk)";
        QTest::newRow("at sign") << "Payment Allocations"
                                 << "@x";
        QTest::newRow("line break and tab") << "Memo"
                                            << "a\nb\tc";
        QTest::newRow("backslash") << "Path"
                                   << "C:\\temp\\";
        QTest::newRow("non-latin") << QString::fromUtf8("Zahlung \u00fcber")
                                   << QString::fromUtf8("\u20ac \u00e4\u00f6\u00fc");
        QTest::newRow("equals and semicolon") << "Odd = name; here"
                                              << "x=1;y=2";
    }
    void registryRoundTrip()
    {
        QFETCH(QString, valueName);
        QFETCH(QString, text);
        auto writer = helperFactory().CreateRegistryTools();
        QVERIFY(writer->WriteString(RegistryTools::HKEY_CURRENT_USER_ROOT, positionsKey, valueName, text));
        // A fresh instance (as each call makes one) reads back the same text.
        auto reader = helperFactory().CreateRegistryTools();
        QCOMPARE(
            reader->ReadString(RegistryTools::HKEY_CURRENT_USER_ROOT, positionsKey, valueName, QStringLiteral("d")),
            text);
    }

    void registryLayout()
    {
        store(QStringLiteral("New Payment"), QStringLiteral("1,2,3,4"));
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Varnholt"),
                           QStringLiteral("Tesserine"));
        QVERIFY(settings.fileName().startsWith(m_store.path()));
        QCOMPARE(
            settings.value(QStringLiteral("Software/Varnholt/Tesserine/5.0/Window Positions/New Payment")).toString(),
            QStringLiteral("1,2,3,4"));
        QCOMPARE(SettingsRegistryTools::settingsKey(positionsKey, QStringLiteral("Edit Payment")),
                 QStringLiteral("Software/Varnholt/Tesserine/5.0/Window Positions/Edit Payment"));
    }

    void registryMissingAndOtherRoot()
    {
        auto registry = helperFactory().CreateRegistryTools();
        QCOMPARE(registry->ReadString(RegistryTools::HKEY_CURRENT_USER_ROOT, positionsKey,
                                      QStringLiteral("Never Written"), QStringLiteral("dflt")),
                 QStringLiteral("dflt"));
        QVERIFY(!registry->WriteString(2, positionsKey, QStringLiteral("Machine"), QStringLiteral("x")));
        QCOMPARE(registry->ReadString(2, positionsKey, QStringLiteral("New Payment"), QStringLiteral("dflt")),
                 QStringLiteral("dflt"));
    }

    void firstOpenThenSave()
    {
        const QString caption = freshCaption();
        Screen form;
        const QRect designed = form.frameGeometry();
        RestoreWindowPlacement(caption, form, true);
        QCOMPARE(form.frameGeometry(), designed); // no value yet: as designed
        QCOMPARE(stored(caption), QStringLiteral("<none>"));

        SaveWindowPlacement(caption, form);
        const QRect f = form.frameGeometry();
        QCOMPARE(stored(caption), QStringLiteral("%1,%2,%3,%4")
                                      .arg(f.top() * 15)
                                      .arg(f.left() * 15)
                                      .arg(f.width() * 15)
                                      .arg(f.height() * 15));
    }

    void roundTrip_data()
    {
        QTest::addColumn<bool>("restoreSize");
        QTest::newRow("position and size") << true;
        QTest::newRow("position only") << false;
    }
    void roundTrip()
    {
        QFETCH(bool, restoreSize);
        const QString caption = freshCaption();
        {
            Screen first;
            first.move(200, 150);
            first.resize(350, 260);
            QTRY_COMPARE(first.frameGeometry().topLeft(), QPoint(200, 150));
            SaveWindowPlacement(caption, first);
        }
        Screen next(QRect(10, 20, 500, 400));
        const QSize designedFrame = next.frameGeometry().size();
        RestoreWindowPlacement(caption, next, restoreSize);
        QTRY_COMPARE(next.frameGeometry().topLeft(), QPoint(200, 150));
        if (restoreSize)
            QTRY_COMPARE(next.frameGeometry().size(), QSize(350, 260) + (designedFrame - QSize(500, 400)));
        else
            QCOMPARE(next.frameGeometry().size(), designedFrame);
    }

    void storedValueIsOuterFrameInTwips()
    {
        const QString caption = freshCaption();
        store(caption, QStringLiteral("1350,1800,6000,4500"));
        Screen form(QRect(0, 0, 100, 100));
        RestoreWindowPlacement(caption, form, true);
        QTRY_COMPARE(form.frameGeometry(), QRect(120, 90, 400, 300));
    }

    void notNormalKeepsLastNormal_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("maximised") << int(Qt::WindowMaximized);
        QTest::newRow("minimised") << int(Qt::WindowMinimized);
        QTest::newRow("full screen") << int(Qt::WindowFullScreen);
    }
    void notNormalKeepsLastNormal()
    {
        QFETCH(int, state);
        const QString caption = freshCaption();
        Screen form;
        SaveWindowPlacement(caption, form);
        QVERIFY(stored(caption) != QStringLiteral("<none>"));
        store(caption, QStringLiteral("15,30,6000,4500")); // the last normal close
        form.setWindowState(Qt::WindowStates(state));
        QTest::qWait(20);
        SaveWindowPlacement(caption, form);
        QCOMPARE(stored(caption), QStringLiteral("15,30,6000,4500"));

        form.setWindowState(Qt::WindowNoState);
        const QString neverNormal = freshCaption();
        Screen other;
        other.setWindowState(Qt::WindowStates(state));
        SaveWindowPlacement(neverNormal, other);
        QCOMPARE(stored(neverNormal), QStringLiteral("<none>"));
    }

    void offScreen_data()
    {
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("left");
        QTest::addColumn<bool>("used");
        const int w = 6000; // 400 pixels
        const int h = 4500; // 300 pixels
        const int sw = screenWidthTwips();
        const int sh = screenHeightTwips();
        QTest::newRow("left at the screen width") << 1500 << sw << false;
        QTest::newRow("on a second monitor to the right") << 1500 << sw + 3000 << false;
        QTest::newRow("last column of the screen") << 1500 << sw - 15 << true;
        QTest::newRow("top at the screen height") << sh << 1500 << false;
        QTest::newRow("top minus height minus one") << -h - 1 << 1500 << false;
        QTest::newRow("top minus height") << -h << 1500 << true;
        QTest::newRow("left minus half the width") << 1500 << -w / 2 << true;
        QTest::newRow("left minus the width") << 1500 << -w << true;
        QTest::newRow("left minus the width minus one") << 1500 << -w - 15 << false;
    }
    void offScreen()
    {
        QFETCH(int, top);
        QFETCH(int, left);
        QFETCH(bool, used);
        const QString caption = freshCaption();
        store(caption, QStringLiteral("%1,%2,6000,4500").arg(top).arg(left));
        Screen form(QRect(30, 40, 200, 150));
        const QRect designed = form.frameGeometry();
        RestoreWindowPlacement(caption, form, true);
        if (used) {
            QTRY_COMPARE(form.frameGeometry(), QRect(left / 15, top / 15, 400, 300));
        } else {
            QTest::qWait(20);
            QCOMPARE(form.frameGeometry(), designed); // neither position nor size
        }
    }

    void malformed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("three pieces") << "1200,2400,9000";
        QTest::newRow("five pieces") << "1200,2400,9000,6000,1";
        QTest::newRow("letters") << "a,b,c,d";
        QTest::newRow("last piece letters") << "1200,2400,9000,abc";
        QTest::newRow("empty piece") << "1200,,9000,6000";
        QTest::newRow("fraction") << "1.5,2400,9000,6000";
        QTest::newRow("beyond 32 bits") << "1200,2400,99999999999,6000";
        QTest::newRow("beyond any window") << "1200,2400,999999999,6000";
        QTest::newRow("semicolons") << "1200;2400;9000;6000";
        QTest::newRow("blank") << " ";
        QTest::newRow("negative width") << "1200,2400,-9000,6000";
        QTest::newRow("zero height") << "1200,2400,9000,0";
    }
    void malformed()
    {
        QFETCH(QString, text);
        const QString caption = freshCaption();
        store(caption, text);
        Screen form(QRect(30, 40, 200, 150));
        const QRect designed = form.frameGeometry();
        RestoreWindowPlacement(caption, form, true);
        QTest::qWait(20);
        QCOMPARE(form.frameGeometry(), designed);
    }

    void sameCaptionShared()
    {
        const QString caption = QStringLiteral("Edit Payment");
        {
            Screen one;
            one.move(250, 60);
            QTRY_COMPARE(one.frameGeometry().topLeft(), QPoint(250, 60));
            SaveWindowPlacement(caption, one);
        }
        Screen two(QRect(0, 0, 400, 300));
        RestoreWindowPlacement(caption, two, true);
        QTRY_COMPARE(two.frameGeometry().topLeft(), QPoint(250, 60));
    }

    void eachCallMakesItsOwnRegistry()
    {
        auto factory = std::make_shared<CountingFactory>();
        setHelperFactory(factory);
        QCOMPARE(&helperFactory(), factory.get());
        const QString caption = freshCaption();
        Screen form;
        SaveWindowPlacement(caption, form);
        RestoreWindowPlacement(caption, form, true);
        RestoreWindowPlacement(caption, form, false);
        QCOMPARE(factory->registries, 3);

        setHelperFactory(nullptr); // the module's own again
        QVERIFY(&helperFactory() != factory.get());
        SaveWindowPlacement(caption, form);
        QCOMPARE(factory->registries, 3);
        QVERIFY(dynamic_cast<SettingsRegistryTools*>(helperFactory().CreateRegistryTools().get()));
        QVERIFY(dynamic_cast<DefaultInputTools*>(helperFactory().CreateInputTools().get()));
    }
};

TESR_TEST_MAIN(WindowPlacementTest)
#include "tst_window_placement.moc"

// The main window's layout as pure arithmetic in twips: the resize rules and the widening of
// controls whose content needs more room than designed.

#include "MainLayout.h"

#include <QTest>

using namespace quillbox;

namespace {
QString S(const char* text) {
    return QString::fromLatin1(text);
}
} // namespace

class TestLayout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void designedFigures() {
        MainGeometry g = DesignedMainGeometry();
        QCOMPARE(ApplyResizeRules(g, DesignedClientWidth, DesignedClientHeight), ResizeRuleCount);
        QCOMPARE(g[S("frmPatches")].height, 4848);
        QCOMPARE(g[S("frmLib")].height, 4848);
        QCOMPARE(g[S("frmDetail")].height, 4848);
        QCOMPARE(g[S("frmDetail")].width, 4692);
        QCOMPARE(g[S("frmDescription")].width, 8364);
        QCOMPARE(g[S("lstPatches")].height, 4296);
        QCOMPARE(g[S("lstLib")].height, 4296);
        QCOMPARE(g[S("txtDescription")].width, 8340);
        QCOMPARE(g[S("lblDetails")].width, 4592);
        // Lefts, tops and the list columns' widths never change.
        const MainGeometry designed = DesignedMainGeometry();
        for (auto it = g.cbegin(); it != g.cend(); ++it) {
            QCOMPARE(it.value().left, designed[it.key()].left);
            QCOMPARE(it.value().top, designed[it.key()].top);
        }
        QCOMPARE(g[S("lstLib")].width, 1596);
        QCOMPARE(g[S("frmPatches")].width, 1836);
    }

    void tooSmall_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("applied");
        QTest::newRow("fits") << 9000 << 6000 << 9;
        QTest::newRow("lower than the frames' top") << 8388 << 900 << 0;
        QTest::newRow("narrower than the details frame") << 3000 << 5832 << 3;
        QTest::newRow("narrower than the description frame") << 20 << 5832 << 3;
        QTest::newRow("lower than the lists' top") << 8388 << 1200 << 5;
        QTest::newRow("details frame narrower than its title's margin") << 3700 << 5832 << 8;
        QTest::newRow("exactly at the edges") << 3796 << 1536 << 9;
    }

    void tooSmall() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, applied);
        MainGeometry g = DesignedMainGeometry();
        QCOMPARE(ApplyResizeRules(g, DesignedClientWidth, DesignedClientHeight), ResizeRuleCount);
        const MainGeometry before = g;
        QCOMPARE(ApplyResizeRules(g, width, height), applied);
        // The rules after the failing one left their values as they were.
        const char* targets[] = {"frmPatches", "frmLib", "frmDetail",      "frmDetail", "frmDescription",
                                 "lstPatches", "lstLib", "txtDescription", "lblDetails"};
        for (int rule = applied; rule < ResizeRuleCount; ++rule) {
            const QString name = S(targets[rule]);
            if (name == QLatin1String("frmDetail"))
                continue; // also the target of an earlier rule
            QCOMPARE(g[name], before[name]);
        }
        // Made large again, the layout is whole.
        QCOMPARE(ApplyResizeRules(g, DesignedClientWidth, DesignedClientHeight), ResizeRuleCount);
        QCOMPARE(g, before);
    }

    void fitKeepsTheDesignWhenEverythingFits() {
        const MainGeometry designed = DesignedMainGeometry();
        QCOMPARE(FitMainGeometry(designed, [](const QString&) { return QSize(); }), designed);
        QCOMPARE(FittedClientSize(designed), QSize(DesignedClientWidth, DesignedClientHeight));
    }

    void fitWidensAndShiftsColumns() {
        // "Drive" needs 1400 twips: the combos' column (and everything right of it) moves right by
        // the same amount, so the columns stay aligned; the frame grows around it.
        const MainGeometry designed = DesignedMainGeometry();
        const MainGeometry g = FitMainGeometry(designed, [](const QString& name) {
            return name == QLatin1String("chkDrive") ? QSize(1400, 300) : QSize();
        });
        QCOMPARE(g[S("chkDrive")].width, 1400);
        QCOMPARE(g[S("chkDrive")].height, 300);
        const int shift = g[S("cbxDriveType")].left - 960;
        QCOMPARE(shift, 168 + 1400 + 12 - 960);
        for (const char* name : {"cbxCabType", "cbxZNRLevel", "cbxEqHigh", "cbxModType", "cbxRevType",
                                 "txtName", "cbxCabSpeaker", "cbxEqLevel", "cbxTotalLevel", "lblLevel"})
            QCOMPARE(g[S(name)].left, designed[S(name)].left + shift);
        // Controls left of it stay, as do other rows' check boxes.
        QCOMPARE(g[S("chkCab")].left, 168);
        QCOMPARE(g[S("lblName")].left, 192);
        // The details frame keeps its right margin around the moved content; its title grows with it.
        const int grow = g[S("frmDetail")].width - 4692;
        QCOMPARE(grow, 4068 + shift + 192 - 4692);
        QCOMPARE(g[S("lblDetails")].width, 4476 + grow);
        QCOMPARE(FittedClientSize(g).width(), 3696 + g[S("frmDetail")].width);
    }

    void fitWidensTheListColumns() {
        const MainGeometry designed = DesignedMainGeometry();
        const MainGeometry g = FitMainGeometry(designed, [](const QString& name) {
            return name.startsWith(QLatin1String("lst")) ? QSize(2000, 0) : QSize();
        });
        QCOMPARE(g[S("lstPatches")].width, 2000);
        QCOMPARE(g[S("frmPatches")].width, 1836 + 404);
        QCOMPARE(g[S("lblPatches")].width, 1524 + 404);
        QCOMPARE(g[S("frmLib")].left, 1848 + 404);
        QCOMPARE(g[S("frmLib")].width, 1836 + 404);
        QCOMPARE(g[S("frmDetail")].left, 3696 + 808);
        QCOMPARE(g[S("frmDescription")].left, 24); // above the columns, not beside them
        QCOMPARE(FittedClientSize(g), QSize(3696 + 808 + 4692, DesignedClientHeight));
        // The rules work from the moved frames.
        MainGeometry resized = g;
        QCOMPARE(ApplyResizeRules(resized, 9500, 6000), ResizeRuleCount);
        QCOMPARE(resized[S("frmDetail")].width, 9500 - (3696 + 808));
    }

    void fitGrowsAnInnerFrame() {
        // "Change  Selected" wider than its frame: the option frame grows, and with it the details frame.
        const MainGeometry g = FitMainGeometry(DesignedMainGeometry(), [](const QString& name) {
            return name == QLatin1String("optSelected") ? QSize(3000, 0) : QSize();
        });
        QCOMPARE(g[S("optSelected")].width, 3000);
        QCOMPARE(g[S("frmChange")].width, 1968 + 3000 + (4308 - 3924));
        QCOMPARE(g[S("frmDetail")].width, 192 + g[S("frmChange")].width + (4692 - 4500));
    }

    void pixelConversion_data() {
        QTest::addColumn<int>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("designed width") << 8388 << 559;
        QTest::newRow("7 twips round down") << 7 << 0;
        QTest::newRow("8 twips round up") << 8 << 1;
        QTest::newRow("15") << 15 << 1;
    }

    void pixelConversion() {
        QFETCH(int, twips);
        QFETCH(int, pixels);
        QCOMPARE(TwipsToPixels(twips), pixels);
        QVERIFY(PixelsToTwips(TwipsToPixels(twips)) >= twips - TwipsPerPixel / 2);
    }
};

QTEST_MAIN(TestLayout)
#include "tst_Layout.moc"

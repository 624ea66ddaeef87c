// Large libraries through the controller: a 100,000-entry library edited in the middle and saved,
// and save/load round trips of random libraries. Timings are printed, never asserted.
#include "LibraryTestSupport.h"

#include <QElapsedTimer>
#include <random>

using namespace quillbox;
using namespace quillbox::test;

namespace {

class Stopwatch {
public:
    explicit Stopwatch(const char* what) : what_(what) { timer_.start(); }
    ~Stopwatch() { qInfo("%-44s %8.1f ms", what_, double(timer_.nsecsElapsed()) / 1e6); }

private:
    const char* what_;
    QElapsedTimer timer_;
};

// What a description reads back as: every line break (CR LF, lone CR, lone LF) and every "&*&"
// the user typed comes back as CR LF; everything else exactly.
QString Normalised(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("&*&"));
    text.replace(QLatin1Char('\r'), QStringLiteral("&*&"));
    text.replace(QLatin1Char('\n'), QStringLiteral("&*&"));
    text.replace(QStringLiteral("&*&"), QStringLiteral("\r\n"));
    return text;
}

QString RandomDescription(std::mt19937& gen, int maxPieces) {
    static const QStringList pieces{
        QStringLiteral("a"),    QStringLiteral("Crunch"),     QStringLiteral(" "),  QStringLiteral("  "),
        QStringLiteral("\r\n"), QStringLiteral("\r"),         QStringLiteral("\n"), QStringLiteral("&*&"),
        QStringLiteral("\""),   QStringLiteral("'"),          QStringLiteral("="),  QStringLiteral("[x]"),
        QStringLiteral(";"),    QStringLiteral("é"),          QStringLiteral("€"),  QStringLiteral("ж"),
        QStringLiteral("日本"), QStringLiteral("\U0001F3B8"), QStringLiteral("&"),  QStringLiteral("*"),
        QStringLiteral("7"),    QStringLiteral("\t")};
    std::uniform_int_distribution<int> count(0, maxPieces);
    std::uniform_int_distribution<int> pick(0, int(pieces.size()) - 1);
    QString text;
    const int n = count(gen);
    for (int i = 0; i < n; ++i)
        text += pieces.at(pick(gen));
    return text;
}

} // namespace

class TestLibraryScale : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hundredThousandEntries() {
        constexpr int Count = 100000;
        Fixture f;
        const QByteArray store = MakeStore(Count);
        QStringList desc = NumberedDescriptions(Count, QStringLiteral("e"));
        WriteBytes(f.Path(QStringLiteral("big.pslib")), LibraryFileBytes(store));
        WriteBytes(f.Path(QStringLiteral("big.pslib.txt")), SideFileBytes(desc));
        const QByteArray patches = MakeStore(3, 7000);
        WriteBytes(f.Path(QStringLiteral("in.pch")), patches);

        {
            Stopwatch t("load 100,000 entries");
            f.Ctl().LoadLibFromPath(f.Path(QStringLiteral("big.pslib")));
        }
        QCOMPARE(f.view.library.count, Count);
        QCOMPARE(f.view.library.toolTip, QStringLiteral("100000 Patches"));
        QCOMPARE(f.S().DescArray.size(), Count + 1);
        QCOMPARE(f.Ctl().ListLine(ListId::Library, 99999), QStringLiteral("100000:  P99999"));
        f.Ctl().ImportPatchesFromPath(f.Path(QStringLiteral("in.pch")));

        QList<QByteArray> expected;
        for (int i = 0; i < Count; ++i)
            expected.append(Entry(store, i));
        desc.prepend(QString());

        {
            Stopwatch t("copy after entry 50,000");
            f.Ctl().LibraryClicked(50000);
            f.Ctl().PatchesClicked(1);
            f.Ctl().CopySelectedPatch();
        }
        expected.insert(50001, Entry(patches, 1));
        desc.insert(50002, QString());
        {
            Stopwatch t("move up + move down + clone");
            f.Ctl().LibraryClicked(50001);
            f.Ctl().MoveUp();
            QCOMPARE(f.S().LibSelection, 50000);
            f.Ctl().MoveDown();
            QCOMPARE(f.S().LibSelection, 50001);
            f.Ctl().ClonePatch();
            QCOMPARE(f.S().LibSelection, 50002);
        }
        expected.insert(50002, Entry(patches, 1));
        desc.insert(50003, QString());
        {
            Stopwatch t("delete entry 70,000");
            f.Ctl().LibraryClicked(70000);
            f.Ctl().DeleteSelected();
        }
        expected.removeAt(70000);
        desc.removeAt(70001);
        QCOMPARE(f.view.description, desc.at(70001));
        f.Ctl().DescriptionEdited(QStringLiteral("edited"));
        desc[70001] = QStringLiteral("edited");
        {
            Stopwatch t("Change  All drive type");
            f.Ctl().SetChangeAll(true);
            f.Ctl().DriveTypePicked(5);
            f.Ctl().SetChangeAll(false);
        }
        for (QByteArray& image : expected)
            image[0] = char((image[0] & 0xE0) | 5);

        QByteArray expectedStore;
        for (const QByteArray& image : expected)
            expectedStore += image;
        QCOMPARE(f.S().LibraryData, expectedStore);
        QCOMPARE(f.S().DescArray, desc);

        {
            // Import the library itself: Update All finds every line equal, Append Different finds
            // every image known; both in one pass over 100,000 entries.
            QVERIFY(f.Ctl().SaveLib());
            f.view.paths.push_back(f.Path(QStringLiteral("big.pslib")));
            f.Ctl().ImportLibrary();
            Stopwatch t("Update All + Append Different, 100,000");
            f.Ctl().UpdateAllPatchesInLib();
            f.Ctl().AppendDifferentPatches();
        }
        QCOMPARE(f.S().LibraryData, expectedStore);
        {
            Stopwatch t("save 100,001 entries");
            QVERIFY(f.Ctl().SaveLib());
        }
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("big.pslib"))), LibraryFileBytes(expectedStore));

        Fixture g;
        g.Ctl().LoadLibFromPath(f.Path(QStringLiteral("big.pslib")));
        QCOMPARE(g.S().LibraryData, expectedStore);
        QCOMPARE(g.S().DescArray, desc);
    }

    void roundTrip_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("maxPieces");
        QTest::newRow("0") << 0 << 40;
        QTest::newRow("1") << 1 << 40;
        QTest::newRow("1,820") << 1820 << 40;
        QTest::newRow("1,821") << 1821 << 40;
        QTest::newRow("100,000") << 100000 << 12;
    }
    void roundTrip() {
        QFETCH(int, count);
        QFETCH(int, maxPieces);
        std::mt19937 gen(20240309u + unsigned(count));
        std::uniform_int_distribution<int> byte(0, 255);
        QByteArray store(qsizetype(count) * 18, '\0');
        for (char& c : store)
            c = char(byte(gen));
        QStringList desc{QString()};
        for (int i = 0; i < count; ++i)
            desc.append(RandomDescription(gen, maxPieces));

        Fixture f;
        f.view.paths.push_back(f.Path(QStringLiteral("rt")));
        f.Ctl().LoadLib();
        f.Ctl().MutableState().LibraryData = store;
        f.Ctl().MutableState().DescArray = desc;
        {
            Stopwatch t("round trip: save");
            f.view.paths.push_back(f.Path(QStringLiteral("rt.pslib")));
            f.view.yesNoAnswers.push_back(true);
            f.Ctl().SaveAsLib();
        }
        QCOMPARE(f.view.MessageTexts(),
                 QStringList{f.Path(QStringLiteral("rt.pslib")) + QStringLiteral(" saved")});
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("rt.pslib"))), LibraryFileBytes(store));

        Fixture g;
        {
            Stopwatch t("round trip: load");
            g.Ctl().LoadLibFromPath(f.Path(QStringLiteral("rt.pslib")));
        }
        QCOMPARE(g.S().LibraryData, store);
        QCOMPARE(g.S().DescArray.size(), desc.size());
        for (int i = 1; i <= count; ++i) {
            if (g.S().DescArray.at(i) != Normalised(desc.at(i)))
                QFAIL(qPrintable(
                    QStringLiteral("description %1: %2 came back as %3")
                        .arg(i)
                        .arg(QString::fromLatin1(desc.at(i).toUtf8().toPercentEncoding()),
                             QString::fromLatin1(g.S().DescArray.at(i).toUtf8().toPercentEncoding()))));
        }
        // Saved again unchanged, the side file is byte for byte the same.
        const QByteArray side = ReadBytes(f.Path(QStringLiteral("rt.pslib.txt")));
        g.Ctl().DescriptionClicked();
        QVERIFY(g.Ctl().SaveLib());
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("rt.pslib.txt"))), side);
    }
};

QTEST_GUILESS_MAIN(TestLibraryScale)
#include "tst_LibraryScale.moc"

// ModifyDescArray: the nine modes, the invalid mode and the failures that leave the array whole.
#include "LibraryTestSupport.h"

using namespace quillbox;
using namespace quillbox::test;

namespace {
// "-" stands for an array without elements.
QStringList Arr(const QString& spec) {
    if (spec == QStringLiteral("-"))
        return {};
    return spec.split(QLatin1Char(','));
}
} // namespace

class TestDescArray : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void modes_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("libEntries"); // library list lines (mode 5)
        QTest::addColumn<int>("selected");   // library list selection (mode 7)
        QTest::addColumn<int>("arrayNr");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("message"); // start of the message shown, empty for none

        const QString fail = QStringLiteral("ModifyDescArray: ");
        const QString none;
        // clang-format off
        QTest::newRow("1 remove middle")        << ",a,b,c" << 3 << -1 << 2 << 1 << "" << ",a,c" << none;
        QTest::newRow("1 remove last left")     << ",a"     << 1 << -1 << 1 << 1 << "" << ""     << none;
        QTest::newRow("1 no elements")          << "-"      << 0 << -1 << 1 << 1 << "" << "-"    << fail;
        QTest::newRow("1 index outside")        << ",a"     << 1 << -1 << 2 << 1 << "" << ",a"   << fail;
        QTest::newRow("1 negative index")       << ",a"     << 1 << -1 << -1 << 1 << "" << ",a"  << fail;
        QTest::newRow("1 only element 0")       << ""       << 0 << -1 << 0 << 1 << "" << ""     << fail;
        QTest::newRow("2 clear")                << ",a,b"   << 2 << -1 << 0 << 2 << "" << ""     << none;
        QTest::newRow("2 on no elements")       << "-"      << 0 << -1 << 0 << 2 << "" << ""     << none;
        QTest::newRow("3 insert middle")        << ",a,b"   << 2 << -1 << 1 << 3 << "x" << ",a,x,b" << none;
        QTest::newRow("3 insert after last")    << ",a"     << 1 << -1 << 1 << 3 << "x" << ",a,x"   << none;
        QTest::newRow("3 insert first")         << ",a"     << 1 << -1 << 0 << 3 << "x" << ",x,a"   << none;
        QTest::newRow("3 no elements")          << "-"      << 0 << -1 << 0 << 3 << "x" << "-"      << fail;
        QTest::newRow("3 index outside")        << ",a"     << 1 << -1 << 2 << 3 << "x" << ",a"     << fail;
        QTest::newRow("4 duplicate last")       << ",a,b"   << 2 << -1 << 2 << 4 << "" << ",a,b,b"  << none;
        QTest::newRow("4 duplicate first")      << ",a,b"   << 2 << -1 << 1 << 4 << "" << ",a,a,b"  << none;
        QTest::newRow("4 no elements")          << "-"      << 0 << -1 << 1 << 4 << "" << "-"       << fail;
        QTest::newRow("4 index outside")        << ",a"     << 1 << -1 << 3 << 4 << "" << ",a"      << fail;
        QTest::newRow("5 append after list")    << ",a,b"   << 2 << -1 << 2 << 5 << "x" << ",a,b,x" << none;
        QTest::newRow("5 on no elements")       << "-"      << 0 << -1 << 0 << 5 << "x" << ",x"     << none;
        QTest::newRow("5 shrinks to the list")  << ",a,b,c,d" << 1 << -1 << 1 << 5 << "x" << ",a,x" << none;
        QTest::newRow("5 index outside")        << ",a"     << 1 << -1 << 5 << 5 << "x" << ",a"     << fail;
        QTest::newRow("6 append")               << ",a"     << 1 << -1 << 0 << 6 << "x" << ",a,x"   << none;
        QTest::newRow("6 on no elements")       << "-"      << 0 << -1 << 0 << 6 << "x" << ",x"     << none;
        QTest::newRow("7 selected entry")       << ",a,b"   << 2 << 1  << 99 << 7 << "x" << ",a,x"  << none;
        QTest::newRow("7 no selection: elem 0") << ",a,b"   << 2 << -1 << 0 << 7 << "x" << "x,a,b"  << none;
        QTest::newRow("7 no elements")          << "-"      << 0 << -1 << 0 << 7 << "x" << "-"      << fail;
        QTest::newRow("8 swap with previous")   << ",a,b"   << 2 << -1 << 2 << 8 << "" << ",b,a"    << none;
        QTest::newRow("8 index outside")        << ",a,b"   << 2 << -1 << 3 << 8 << "" << ",a,b"    << fail;
        QTest::newRow("8 below element 0")      << ",a,b"   << 2 << -1 << 0 << 8 << "" << ",a,b"    << fail;
        QTest::newRow("8 no elements")          << "-"      << 0 << -1 << 2 << 8 << "" << "-"       << fail;
        QTest::newRow("9 swap with next")       << ",a,b"   << 2 << -1 << 1 << 9 << "" << ",b,a"    << none;
        QTest::newRow("9 index outside")        << ",a,b"   << 2 << -1 << 2 << 9 << "" << ",a,b"    << fail;
        QTest::newRow("9 no elements")          << "-"      << 0 << -1 << 1 << 9 << "" << "-"       << fail;
        QTest::newRow("mode 0")                 << ",a"     << 1 << -1 << 1 << 0 << "" << ",a" << "ModifyDescArray invalid mode";
        QTest::newRow("mode 10")                << ",a"     << 1 << -1 << 1 << 10 << "" << ",a" << "ModifyDescArray invalid mode";
        // clang-format on
    }

    void modes() {
        QFETCH(QString, before);
        QFETCH(int, libEntries);
        QFETCH(int, selected);
        QFETCH(int, arrayNr);
        QFETCH(int, mode);
        QFETCH(QString, text);
        QFETCH(QString, after);
        QFETCH(QString, message);

        Fixture f;
        f.Ctl().MutableState().DescArray = Arr(before);
        f.Ctl().MutableState().LibraryData = MakeStore(libEntries);
        f.Ctl().MutableState().LibSelection = selected;

        const bool ok = f.Ctl().ModifyDescArray(arrayNr, mode, text);

        QCOMPARE(f.S().DescArray, Arr(after));
        QCOMPARE(ok, message.isEmpty());
        if (message.isEmpty()) {
            QVERIFY(f.view.messages.isEmpty());
        } else {
            QCOMPARE(f.view.messages.size(), 1);
            QVERIFY2(f.view.messages.at(0).text.startsWith(message), qPrintable(f.view.messages.at(0).text));
            QCOMPARE(f.view.messages.at(0).style, MessageStyle::Plain);
            if (message.endsWith(QStringLiteral(": ")))
                QVERIFY(f.view.messages.at(0).text.size() > message.size()); // a reason follows
        }
    }
};

QTEST_GUILESS_MAIN(TestDescArray)
#include "tst_DescArray.moc"

#include "DescriptionFile.h"
#include "TestPaths.h"
#include "TestUtil.h"

#include <QMap>
#include <QTest>

using namespace quillbox;
using namespace testutil;

namespace {

QString Fixture(const char* name) {
    return QStringLiteral(QUILLBOX_TEST_DATA_DIR "/") + QString::fromUtf8(name);
}

const QString Original = Fixture("sidefile_original.pslib.txt");

// The descriptions the fixture holds for positions 1..7 (element 0 unused).
QStringList OriginalDescriptions() {
    return {QString(),
            QStringLiteral("Crunch for the verse"),
            QStringLiteral("Lead\r\nwith delay"),
            QStringLiteral(u"Café solo € 5"),
            QString(),
            QStringLiteral(u"Clean\r\n\r\nChorus été"),
            QStringLiteral("old six"),
            QStringLiteral("old seven")};
}

using Changes = QMap<int, QString>;
using LineChanges = QList<std::pair<QByteArray, QByteArray>>; // old line -> new line(s), CR LF included

} // namespace

class TestSideFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encodeLineBreaks_data() {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("value");
        QTest::newRow("none") << QStringLiteral("Crunch for the verse")
                              << QStringLiteral("Crunch for the verse");
        QTest::newRow("CR LF") << QStringLiteral("Lead\r\nwith delay") << QStringLiteral("Lead&*&with delay");
        QTest::newRow("two CR LF") << QStringLiteral("a\r\nb\r\nc") << QStringLiteral("a&*&b&*&c");
        QTest::newRow("lone CR") << QStringLiteral("a\rb") << QStringLiteral("a&*&b");
        QTest::newRow("lone LF") << QStringLiteral("a\nb") << QStringLiteral("a&*&b");
        QTest::newRow("LF CR is two breaks") << QStringLiteral("a\n\rb") << QStringLiteral("a&*&&*&b");
        QTest::newRow("CR CR LF") << QStringLiteral("\r\r\n") << QStringLiteral("&*&&*&");
        QTest::newRow("empty lines") << QStringLiteral("a\r\n\r\nb") << QStringLiteral("a&*&&*&b");
        QTest::newRow("break at both ends") << QStringLiteral("\nx\r") << QStringLiteral("&*&x&*&");
        QTest::newRow("code itself kept") << QStringLiteral("a&*&b") << QStringLiteral("a&*&b");
        QTest::newRow("empty") << QString() << QString();
    }
    void encodeLineBreaks() {
        QFETCH(QString, description);
        QFETCH(QString, value);
        QCOMPARE(EncodeLineBreaks(description), value);
        QVERIFY(!value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n')));
    }

    void decodeLineBreaks_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("description");
        QTest::newRow("none") << QStringLiteral("plain") << QStringLiteral("plain");
        QTest::newRow("one") << QStringLiteral("Lead&*&with delay") << QStringLiteral("Lead\r\nwith delay");
        QTest::newRow("adjacent") << QStringLiteral("&*&&*&") << QStringLiteral("\r\n\r\n");
        QTest::newRow("overlapping, left first") << QStringLiteral("&*&*&") << QStringLiteral("\r\n*&");
        QTest::newRow("partial code") << QStringLiteral("&*") << QStringLiteral("&*");
        QTest::newRow("empty") << QString() << QString();
    }
    void decodeLineBreaks() {
        QFETCH(QString, value);
        QFETCH(QString, description);
        QCOMPARE(DecodeLineBreaks(value), description);
    }

    void originalFixtureReads() {
        const DescriptionReader reader(Original);
        const QStringList expected = OriginalDescriptions();
        for (int i = 1; i < expected.size(); ++i)
            QCOMPARE(reader.Description(i), expected[i]);
        QCOMPARE(reader.Description(8), QString());
        QCOMPARE(reader.Description(0), QString());
    }

    void readDescription_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QString dflt = QStringLiteral("dflt");
        QTest::newRow("raw value, codes not decoded")
            << Original << DescriptionSection << QStringLiteral("2") << QStringLiteral("Lead&*&with delay");
        QTest::newRow("other section") << Original << QStringLiteral("Settings") << QStringLiteral("Owner")
                                       << QStringLiteral(u"René Müller");
        QTest::newRow("section before")
            << Original << QStringLiteral("Device") << QStringLiteral("Model") << QStringLiteral("PS02");
        QTest::newRow("key above the library")
            << Original << DescriptionSection << QStringLiteral("7") << QStringLiteral("old seven");
        QTest::newRow("missing key") << Original << DescriptionSection << QStringLiteral("9") << dflt;
        QTest::newRow("missing section")
            << Original << QStringLiteral("Nothing") << QStringLiteral("1") << dflt;
        QTest::newRow("missing file")
            << Fixture("no-such-file.txt") << DescriptionSection << QStringLiteral("1") << dflt;
        QTest::newRow("a folder") << QStringLiteral(QUILLBOX_TEST_DATA_DIR) << DescriptionSection
                                  << QStringLiteral("1") << dflt;
        QTest::newRow("truncated file") << Fixture("sidefile_truncated.pslib.txt") << DescriptionSection
                                        << QStringLiteral("2") << QStringLiteral("Sec");
        QTest::newRow("corrupt file")
            << Fixture("sidefile_corrupt.pslib.txt") << DescriptionSection << QStringLiteral("1") << dflt;
    }
    void readDescription() {
        QFETCH(QString, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(ReadDescription(section, key, QStringLiteral("dflt"), file), expected);
    }

    void variantsRead() {
        const DescriptionReader truncated(Fixture("sidefile_truncated.pslib.txt"));
        QCOMPARE(truncated.Description(1), QStringLiteral("First"));
        QCOMPARE(truncated.Description(2), QStringLiteral("Sec"));
        const DescriptionReader corrupt(Fixture("sidefile_corrupt.pslib.txt"));
        for (int i = 0; i < 5; ++i)
            QCOMPARE(corrupt.Description(i), QString());
        const DescriptionReader missing(Fixture("no-such-file.txt"));
        QCOMPARE(missing.Description(1), QString());
    }

    // Saving over the original side file changes only the lines of changed descriptions (and adds
    // new keys); every other line stays byte for byte.
    void saveOverOriginal_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<LineChanges>("lineChanges");
        QTest::addColumn<bool>("utf8");
        QTest::newRow("nothing changed") << 5 << Changes{} << LineChanges{} << false;
        QTest::newRow("one description changed")
            << 5 << Changes{{2, QStringLiteral("Lead\r\nwith echo")}}
            << LineChanges{{"2=Lead&*&with delay\r\n", "2=Lead&*&with echo\r\n"}} << false;
        QTest::newRow("1252 letters stay 1252") << 5 << Changes{{4, QStringLiteral(u"€ and é")}}
                                                << LineChanges{{"4=\r\n", "4=\x80 and \xE9\r\n"}} << false;
        QTest::newRow("shorter library leaves keys above") << 3 << Changes{} << LineChanges{} << false;
        QTest::newRow("longer library adds keys")
            << 9 << Changes{{8, QStringLiteral("new eight")}, {9, QStringLiteral(u" nine é ")}}
            << LineChanges{{"7=old seven\r\n", "7=old seven\r\n8=new eight\r\n9=\" nine \xE9 \"\r\n"}}
            << false;
        QTest::newRow("letters beyond 1252")
            << 5 << Changes{{1, QStringLiteral(u"Crunch ж")}}
            << LineChanges{{"1=Crunch for the verse\r\n", "1=Crunch \xD0\xB6\r\n"}} << true;
    }
    void saveOverOriginal() {
        QFETCH(int, count);
        QFETCH(Changes, changes);
        QFETCH(LineChanges, lineChanges);
        QFETCH(bool, utf8);
        const QByteArray original = ReadRaw(Original);
        QStringList descriptions = OriginalDescriptions();
        while (descriptions.size() <= count)
            descriptions.append(QString());
        descriptions = descriptions.mid(0, count + 1);
        for (auto it = changes.cbegin(); it != changes.cend(); ++it)
            descriptions[it.key()] = it.value();

        const std::optional<QByteArray> saved = BuildSideFile(original, descriptions, count);
        QVERIFY(saved.has_value());

        // The expected file: the original, in UTF-8 with a BOM when it had to change encoding.
        QByteArray expected = original;
        if (utf8) {
            expected =
                "\xEF\xBB\xBF" + QString::fromLatin1(original).replace(QChar(0x80), QChar(0x20AC)).toUtf8();
        }
        for (const auto& [oldLine, newLine] : lineChanges) {
            const QByteArray from = utf8 ? QString::fromLatin1(oldLine).toUtf8() : oldLine;
            QCOMPARE(expected.count(from), 1);
            expected.replace(from, newLine);
        }
        QCOMPARE(*saved, expected);

        const DescriptionReader reader = DescriptionReader::FromBytes(*saved);
        for (int i = 1; i <= count; ++i)
            QCOMPARE(reader.Description(i), descriptions[i]);
    }

    void buildSideFile_data() {
        QTest::addColumn<bool>("hasExisting");
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QStringList>("descriptions");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("no entries, no file")
            << false << QByteArray() << QStringList{QString()} << false << QByteArray();
        QTest::newRow("no entries, old file left alone")
            << true << QByteArray("[Description]\n1=old\n") << QStringList{QString()} << true
            << QByteArray("[Description]\n1=old\n");
        QTest::newRow("first save")
            << false << QByteArray()
            << QStringList{QString(), QStringLiteral("Crunch for the verse"),
                           QStringLiteral("Lead\r\nwith delay")}
            << true << QByteArray("[Description]\r\n1=Crunch for the verse\r\n2=Lead&*&with delay\r\n");
        QTest::newRow("empty description") << false << QByteArray() << QStringList{QString(), QString()}
                                           << true << QByteArray("[Description]\r\n1=\r\n");
        QTest::newRow("5 over 8 keeps 6 to 8")
            << true << QByteArray("[Description]\r\n1=a\r\n2=b\r\n3=c\r\n4=d\r\n5=e\r\n6=f\r\n7=g\r\n8=h\r\n")
            << QStringList{QString(),           QStringLiteral("A"), QStringLiteral("b"),
                           QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("E")}
            << true
            << QByteArray("[Description]\r\n1=A\r\n2=b\r\n3=c\r\n4=d\r\n5=E\r\n6=f\r\n7=g\r\n8=h\r\n");
        QTest::newRow("element 0 never written")
            << false << QByteArray() << QStringList{QStringLiteral("zero"), QStringLiteral("one")} << true
            << QByteArray("[Description]\r\n1=one\r\n");
        QTest::newRow("line breaks can inject no key")
            << false << QByteArray() << QStringList{QString(), QStringLiteral("x\n2=injected\r[Evil]")}
            << true << QByteArray("[Description]\r\n1=x&*&2=injected&*&[Evil]\r\n");
    }
    void buildSideFile() {
        QFETCH(bool, hasExisting);
        QFETCH(QByteArray, existing);
        QFETCH(QStringList, descriptions);
        QFETCH(bool, written);
        QFETCH(QByteArray, expected);
        const std::optional<QByteArray> result =
            BuildSideFile(hasExisting ? std::optional<QByteArray>(existing) : std::nullopt, descriptions,
                          descriptions.size() - 1);
        QCOMPARE(result.has_value(), written);
        if (written)
            QCOMPARE(*result, expected);
    }
};

int RunSideFileTests(int argc, char** argv) {
    TestSideFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sidefile.moc"

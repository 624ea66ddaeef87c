#include "BitRoutines.h"
#include "FieldMap.h"
#include "PatchImage.h"
#include "PatchList.h"
#include "PatchName.h"
#include "Tags.h"
#include "ValueTables.h"

#include <QTest>
#include <array>
#include <random>

using namespace Qt::StringLiterals;

using namespace quillbox;

namespace {

const QString Alphabet = QStringLiteral(" '<>*+-/0123456789[=]@ABCDEFGHIJKLMNOPQRSTUVWXYZ  ");

// Bytes 12..17: code c at bits 5+6c.. of the 48-bit little-endian number, `carried` elsewhere.
QByteArray NameBytes(const std::array<int, 6>& codes, quint64 carried = 0) {
    quint64 n = carried & ~(quint64{0xFFFFFFFFF} << 5);
    for (size_t c = 0; c < 6; ++c)
        n |= quint64(codes[c]) << (5 + 6 * c);
    QByteArray bytes(6, '\0');
    for (int i = 0; i < 6; ++i)
        bytes[i] = char(n >> (8 * i));
    return bytes;
}

// A store of `count` images, entry k named letter k%26, digit k%10, then blanks.
QByteArray StoreOf(int count) {
    QByteArray store;
    for (int k = 0; k < count; ++k)
        store += QByteArray(11, 'U') + NameBytes({22 + k % 26, 8 + k % 10, 0, 0, 0, 49}) + 'U';
    return store;
}

} // namespace

class TestModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every code in every position, with the bits around the name field all clear or all set; a
    // seventh byte is ignored, five bytes are too few.
    void everyCodeInEveryPosition() {
        for (quint64 carried : {quint64{0}, ~quint64{0}}) {
            for (size_t position = 0; position < 6; ++position) {
                for (int code = 0; code < 64; ++code) {
                    std::array<int, 6> codes{};
                    codes.fill(carried ? 22 : 0);
                    codes[position] = code;
                    QString expected(6, carried ? u'A' : u' ');
                    expected.replace(qsizetype(position), 1,
                                     code < 50 ? Alphabet.mid(code, 1) : QStringLiteral("(%1)").arg(code));
                    const PatchNameResult result =
                        StringToPatchName(QByteArray(NameBytes(codes, carried) + '\xFF'));
                    QCOMPARE(result.name, expected);
                    QVERIFY(result.ok && result.error.isEmpty());
                }
            }
        }
        QCOMPARE(PatchCharFromCode(-1), QStringLiteral("(-1)"));
        const PatchNameResult five = StringToPatchName(QByteArray(5, '\xFF'));
        QVERIFY(five.name.isEmpty() && !five.ok);
        QCOMPARE(five.error, QStringLiteral("the patch ends after 5 of the 6 name bytes"));
    }

    void bits_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("bit");
        QTest::addColumn<bool>("set");
        QTest::addColumn<int>("afterSet");
        QTest::addColumn<int>("afterClear");
        QTest::newRow("5/0") << 5 << 0 << true << 5 << 4;
        QTest::newRow("5/1") << 5 << 1 << false << 7 << 5;
        QTest::newRow("128/7") << 128 << 7 << true << 128 << 0;
        QTest::newRow("255/8") << 255 << 8 << false << 511 << 255;
        QTest::newRow("-1/15") << -1 << 15 << true << -1 << 32767;
        QTest::newRow("min/14") << -32768 << 14 << false << -16384 << -32768;
        QTest::newRow("-2/0") << -2 << 0 << false << -1 << -2;
    }
    void bits() {
        QFETCH(int, value);
        QFETCH(int, bit);
        QFETCH(bool, set);
        QFETCH(int, afterSet);
        QFETCH(int, afterClear);
        QCOMPARE(IsBitSet(qint16(value), qint16(bit)), set);
        QCOMPARE(BitValue(qint16(value), qint16(bit)), qint16(set));
        qint16 v = qint16(value);
        SetBit(v, qint16(bit));
        QCOMPARE(int(v), afterSet);
        v = qint16(value);
        ClearBit(v, qint16(bit));
        QCOMPARE(int(v), afterClear);
        // The value is widened with its sign: a negative value has every bit above 15 set.
        QCOMPARE(IsBitSet(qint16(value), 20), value < 0);
    }

    void listLines_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("last");
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("empty") << 0 << QString() << false;
        QTest::newRow("19") << 19 << QStringLiteral("02:  ") << true;
        QTest::newRow("35") << 35 << QStringLiteral("02:  B1    ") << false; // 17 bytes hold the name
        QTest::newRow("40") << 40 << QStringLiteral("03:  ") << true;
        QTest::newRow("7th") << 7 * 18 << QStringLiteral("07:  G6    ") << false;
        QTest::newRow("10th") << 10 * 18 << QStringLiteral("10:  J9    ") << false;
        QTest::newRow("100th") << 100 * 18 << QStringLiteral("100:  V9    ") << false;
    }
    void listLines() {
        QFETCH(int, size);
        QFETCH(QString, last);
        QFETCH(bool, unreadable);
        const QByteArray store = StoreOf(100).left(size);
        const QStringList lines = FillPatchList(store);
        QCOMPARE(lines.size(), (size + 17) / 18);
        QCOMPARE(lines.value(lines.size() - 1), last);
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(PatchListLine(store, i), lines[i]);
        QCOMPARE(PatchCountToolTip(lines.size()), QStringLiteral("%1 Patches").arg(lines.size()));
        QString error;
        QCOMPARE(StoreHasUnreadableName(store, &error), unreadable);
        QCOMPARE(error.isEmpty(), !unreadable);
        if (size % 18) // a short last entry is padded with blanks to a whole image
            QCOMPARE(PatchImage::FromStore(store, size / 18).Bytes(),
                     store.mid(size / 18 * 18).leftJustified(18, ' '));
    }

    // Every character of the alphabet at every position of a random image: encoding then decoding
    // gives it back, and no bit outside the name field changes.
    void nameEncoderRoundTrip() {
        std::mt19937 random(99);
        for (qsizetype position = 0; position < 6; ++position) {
            for (QChar ch : Alphabet) {
                QByteArray image(18, '\0');
                for (char& b : image)
                    b = char(random());
                const QByteArray before = image;
                QString name = QStringLiteral("ZZZZZZ");
                name[position] = ch;
                const PatchNameCodes codes = EncodePatchName(name.toLower());
                QVERIFY(codes.ok());
                WritePatchName(image, codes.codes);
                QCOMPARE(StringToPatchName(QByteArrayView(image).sliced(11, 6)).name, name);
                const quint64 nameMask = quint64{0xFFFFFFFFF} << 5;
                for (int i = 0; i < 18; ++i) {
                    const int keep = i < 11 || i > 16 ? 0xFF : int(~(nameMask >> (8 * (i - 11))) & 0xFF);
                    QCOMPARE(image[i] & keep, before[i] & keep);
                }
            }
        }
    }

    void nameEncoderRefusals_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("refused");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("short, padded") << QStringLiteral("ab") << qsizetype(-1) << QStringLiteral("AB    ");
        QTest::newRow("empty") << QString() << qsizetype(-1) << QStringLiteral("      ");
        QTest::newRow("accented") << QStringLiteral("CAF\u00C9") << qsizetype(3) << QString();
        QTest::newRow("dotless i") << QStringLiteral("\u0131") << qsizetype(0) << QString();
        QTest::newRow("lower case not in alphabet") << QStringLiteral("a_b") << qsizetype(1) << QString();
        QTest::newRow("seven characters") << QStringLiteral("ABCDEFG") << qsizetype(6) << QString();
    }

    void nameEncoderRefusals() {
        QFETCH(QString, text);
        QFETCH(qsizetype, refused);
        QFETCH(QString, decoded);
        const PatchNameCodes codes = EncodePatchName(text);
        QCOMPARE(codes.refused, refused);
        if (codes.ok()) {
            QByteArray image(18, '\xFF');
            WritePatchName(image, codes.codes);
            QCOMPARE(StringToPatchName(QByteArrayView(image).sliced(11, 6)).name, decoded);
        }
    }

    // Every value of every bound field, written into random images, reads back and changes no other bit.
    void fieldWriteKeepsOtherBits() {
        const int places[5][2] = {
            {1, 0x1F}, {3, 0x0E}, {3, 0x70}, {17, 0x02}, {17, 0x04}}; // BoundField order
        std::mt19937 random(1234);
        for (int round = 0; round < 100; ++round) {
            QByteArray bytes(18, '\0');
            for (char& b : bytes)
                b = char(random());
            const PatchImage before(bytes);
            for (int f = 0; f < 5; ++f) {
                const qsizetype values = f < 3 ? ParameterTable(ParameterList(f)).entries.size() : 2;
                for (int value = 0; value < values; ++value) {
                    PatchImage after = before;
                    WriteBoundField(after, BoundField(f), value);
                    for (int p = 1; p <= 18; ++p) {
                        const int keep = p == places[f][0] ? ~places[f][1] & 0xFF : 0xFF;
                        QCOMPARE(after.Byte(p) & keep, before.Byte(p) & keep);
                    }
                    const DetailValues s = ShowPatchDetails(after);
                    QCOMPARE(
                        (std::array{s.driveType, s.cabType, s.cabSpeaker, int(s.driveOn), int(s.cabOn)})[f],
                        value);
                }
            }
        }
        QCOMPARE(ShowPatchDetails(PatchImage(QByteArray(18, '\xFF'))),
                 (DetailValues{-1, -1, -1, true, true}));
    }

    // Fill order, object names and entry counts of all eleven lists, with a few entries checked.
    void valueTables() {
        const std::pair<const char*, int> expected[] = {
            {"cbxDriveType", 24}, {"cbxCabType", 6},   {"cbxCabSpeaker", 7}, {"cbxModType", 14},
            {"cbxRevType", 10},   {"cbxZNRLevel", 16}, {"cbxEqHigh", 25},    {"cbxEqMid", 25},
            {"cbxEqLow", 25},     {"cbxEqLevel", 7},   {"cbxTotalLevel", 30}};
        const auto tables = ParameterTables();
        QCOMPARE(tables.size(), std::size(expected));
        for (size_t i = 0; i < tables.size(); ++i) {
            QCOMPARE(tables[i].objectName, QString::fromUtf8(expected[i].first));
            QCOMPARE(tables[i].entries.size(), expected[i].second);
            QCOMPARE(&ParameterTable(tables[i].list), &tables[i]);
        }
        auto entry = [](ParameterList list, int i) {
            return ParameterTable(list).entries.value(i);
        };
        QCOMPARE(entry(ParameterList::DriveType, 2), QStringLiteral("Tweet"));
        QCOMPARE(entry(ParameterList::CabSpeaker, 0), QStringLiteral("Combo 1*12\""));
        QCOMPARE(entry(ParameterList::RevType, 5), QStringLiteral("Dylay & Hall"));
        QCOMPARE(entry(ParameterList::EqMid, 0), QStringLiteral("-12"));
        QCOMPARE(entry(ParameterList::TotalLevel, 29), QStringLiteral("30"));
    }
    // The most name codes beyond the alphabet (50 to 63) any one whole entry has; an entry cut short
    // before its name ends shows none.
    void codesOutsideAlphabet_data() {
        QTest::addColumn<QList<int>>("first");  // the codes of the first entry's name
        QTest::addColumn<QList<int>>("second"); // the second's
        QTest::addColumn<int>("cut");           // bytes the store loses at its end
        QTest::addColumn<int>("most");
        QTest::newRow("all in the alphabet")
            << QList<int>{0, 1, 48, 49, 25, 9} << QList<int>{2, 3, 4, 5, 6, 7} << 0 << 0;
        QTest::newRow("the first code beyond")
            << QList<int>{50, 1, 2, 3, 4, 5} << QList<int>{0, 0, 0, 0, 0, 0} << 0 << 1;
        QTest::newRow("the most of two entries")
            << QList<int>{63, 1, 2, 3, 4, 63} << QList<int>{50, 51, 52, 0, 0, 0} << 0 << 3;
        QTest::newRow("the last cut short")
            << QList<int>{1, 2, 3, 4, 5, 6} << QList<int>{63, 63, 63, 63, 63, 63} << 2 << 0;
    }
    void codesOutsideAlphabet() {
        QFETCH(QList<int>, first);
        QFETCH(QList<int>, second);
        QFETCH(int, cut);
        QFETCH(int, most);
        QByteArray store;
        for (const QList<int>& codes : {first, second}) {
            QByteArray image(PatchImageSize, char(0xFF)); // every bit beside the name set
            WritePatchName(image, {codes[0], codes[1], codes[2], codes[3], codes[4], codes[5]});
            store += image;
        }
        store.chop(cut);
        QCOMPARE(MostCodesOutsideAlphabet(store), most);
    }

    // The tag rule: a tag stands at the start or after a blank, compares case-folded, and is added
    // once and removed wherever it stands whole, with the blank that set it apart.
    void tags_data() {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("added");
        QTest::addColumn<QString>("removed");
        QTest::newRow("empty") << QString() << u"#gig"_s << u"#gig"_s << QString();
        QTest::newRow("after words") << u"verse"_s << u"#gig"_s << u"verse #gig"_s << u"verse"_s;
        QTest::newRow("after a blank") << u"verse "_s << u"#gig"_s << u"verse #gig"_s << u"verse "_s;
        QTest::newRow("has it, other case") << u"x #GIG y"_s << u"#gig"_s << u"x #GIG y"_s << u"x y"_s;
        QTest::newRow("at the start") << u"#gig verse"_s << u"#gig"_s << u"#gig verse"_s << u"verse"_s;
        QTest::newRow("letters beyond ASCII") << u"Gr\u00fc\u00dfe #F\u00e4v\u00a0#gig"_s << u"#gig"_s
                                             << u"Gr\u00fc\u00dfe #F\u00e4v\u00a0#gig"_s << u"Gr\u00fc\u00dfe #F\u00e4v\u00a0"_s;
        QTest::newRow("after a tab, with others") << u"x\t#Gig #a-b_c #Gig"_s << u"#gig"_s << u"x\t#Gig #a-b_c #Gig"_s
                                                  << u"x\t #a-b_c"_s;
        QTest::newRow("longer tag is another") << u"#gigs"_s << u"#gig"_s << u"#gigs #gig"_s << u"#gigs"_s;
        QTest::newRow("glued to a word") << u"a#gig"_s << u"#gig"_s << u"a#gig #gig"_s << u"a#gig"_s;
        QTest::newRow("hashes run together") << u"##x #a#b # c"_s << u"#gig"_s << u"##x #a#b # c #gig"_s
                                             << u"##x #a#b # c"_s;
        QTest::newRow("twice, lines") << u"a #Gig\r\n#gig"_s << u"#gig"_s << u"a #Gig\r\n#gig"_s << u"a\r\n"_s;
    }
    void tags() {
        QFETCH(QString, description);
        QFETCH(QString, tag);
        QFETCH(QString, added);
        QFETCH(QString, removed);
        QVERIFY(IsTag(tag));
        QCOMPARE(WithTag(description, tag), added);
        QCOMPARE(WithoutTag(description, tag), removed);
        QVERIFY(TagsOf(added).contains(tag));
        QVERIFY(!TagsOf(removed).contains(tag));
        // Read from UTF-8 (as the collection reads side files), the same tags in the same order.
        for (const QString& text : {description, added, removed}) {
            QStringList fromUtf8;
            ForEachTagOf(text.toUtf8(), [&fromUtf8](QByteArrayView t) { fromUtf8.append(QString::fromUtf8(t)); });
            QCOMPARE(fromUtf8, TagsOf(text));
        }
    }

};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"

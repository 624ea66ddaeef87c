#include "BitRoutines.h"
#include "FieldMap.h"
#include "PatchImage.h"
#include "PatchList.h"
#include "PatchName.h"
#include "ValueTables.h"

#include <QTest>
#include <array>
#include <random>

using namespace quillbox;

namespace {

// The device alphabet as the device documents it; code n is character n.
const QString Alphabet = QStringLiteral(" '<>*+-/0123456789[=]@ABCDEFGHIJKLMNOPQRSTUVWXYZ  ");

// Where each bit of each name character lies: {byte of the name field 0..5 (= image byte 12..17),
// bit}, least significant code bit first.
using BitPlace = std::pair<int, int>;
const std::array<std::array<BitPlace, 6>, 6> NameBits = {{
    {{{0, 5}, {0, 6}, {0, 7}, {1, 0}, {1, 1}, {1, 2}}},
    {{{1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7}, {2, 0}}},
    {{{2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}}},
    {{{2, 7}, {3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}}},
    {{{3, 5}, {3, 6}, {3, 7}, {4, 0}, {4, 1}, {4, 2}}},
    {{{4, 3}, {4, 4}, {4, 5}, {4, 6}, {4, 7}, {5, 0}}},
}};

// Bytes 12..17 of an image whose six name characters have the given codes.
QByteArray NameBytes(const std::array<int, 6>& codes, QByteArray base = QByteArray(6, '\0')) {
    for (int c = 0; c < 6; ++c) {
        for (int k = 0; k < 6; ++k) {
            const auto [byte, bit] = NameBits[size_t(c)][size_t(k)];
            const char mask = char(1 << bit);
            if (codes[size_t(c)] & (1 << k))
                base[byte] = char(base[byte] | mask);
            else
                base[byte] = char(base[byte] & ~mask);
        }
    }
    return base;
}

QString Rendering(int code) {
    if (code >= 0 && code < 50)
        return Alphabet.mid(code, 1);
    return QStringLiteral("(%1)").arg(code);
}

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

// A store of `count` images, entry k named after its number so that lines can be told apart.
QByteArray StoreOf(int count) {
    QByteArray store;
    for (int k = 0; k < count; ++k) {
        QByteArray image(18, char(0x55));
        image.replace(11, 6, NameBytes({22 + k % 26, 8 + k % 10, 0, 0, 0, 49}, image.mid(11, 6)));
        store += image;
    }
    return store;
}

} // namespace

class TestModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void patchCharFromCode_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0 blank") << 0 << QStringLiteral(" ");
        QTest::newRow("1 quote") << 1 << QStringLiteral("'");
        QTest::newRow("7 slash") << 7 << QStringLiteral("/");
        QTest::newRow("8 zero") << 8 << QStringLiteral("0");
        QTest::newRow("17 nine") << 17 << QStringLiteral("9");
        QTest::newRow("18 bracket") << 18 << QStringLiteral("[");
        QTest::newRow("21 at") << 21 << QStringLiteral("@");
        QTest::newRow("22 A") << 22 << QStringLiteral("A");
        QTest::newRow("47 Z") << 47 << QStringLiteral("Z");
        QTest::newRow("48 blank") << 48 << QStringLiteral(" ");
        QTest::newRow("49 blank") << 49 << QStringLiteral(" ");
        QTest::newRow("50") << 50 << QStringLiteral("(50)");
        QTest::newRow("57") << 57 << QStringLiteral("(57)");
        QTest::newRow("63") << 63 << QStringLiteral("(63)");
        QTest::newRow("-1") << -1 << QStringLiteral("(-1)");
        QTest::newRow("-32768") << -32768 << QStringLiteral("(-32768)");
        QTest::newRow("32767") << 32767 << QStringLiteral("(32767)");
    }
    void patchCharFromCode() {
        QFETCH(int, code);
        QFETCH(QString, expected);
        QCOMPARE(PatchCharFromCode(code), expected);
    }

    void stringToPatchName_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("expected");
        QTest::newRow("only bit 5 of byte 12") << Bytes({0x20, 0, 0, 0, 0, 0}) << QStringLiteral("'     ");
        QTest::newRow("all zero") << QByteArray(6, '\0') << QStringLiteral("      ");
        QTest::newRow("codes 0, 48, 49 all blank")
            << NameBytes({0, 48, 49, 49, 48, 0}) << QStringLiteral("      ");
        QTest::newRow("letters, digits, signs")
            << NameBytes({22, 47, 8, 17, 18, 21}) << QStringLiteral("AZ09[@");
        QTest::newRow("trailing blanks kept")
            << NameBytes({29, 26, 33, 33, 36, 0}) << QStringLiteral("HELLO ");
        QTest::newRow("code 57 in position 3")
            << NameBytes({22, 22, 57, 22, 22, 22}) << QStringLiteral("AA(57)AAA");
        QTest::newRow("all 63") << NameBytes({63, 63, 63, 63, 63, 63}) << QStringLiteral("(63)").repeated(6);
        // Bits 0-4 of byte 12 and bits 1-7 of byte 17 are not part of the name.
        QTest::newRow("carried bits ignored")
            << NameBytes({22, 23, 24, 25, 26, 27}, Bytes({0x1F, 0, 0, 0, 0, 0xFE}))
            << QStringLiteral("ABCDEF");
        QTest::newRow("seventh byte ignored")
            << NameBytes({22, 23, 24, 25, 26, 27}) + '\xFF' << QStringLiteral("ABCDEF");
    }
    void stringToPatchName() {
        QFETCH(QByteArray, source);
        QFETCH(QString, expected);
        const PatchNameResult result = StringToPatchName(source);
        QVERIFY(result.ok);
        QCOMPARE(result.name, expected);
    }

    void stringToPatchName_everyCodeInEveryPosition() {
        for (int position = 0; position < 6; ++position) {
            for (int code = 0; code < 64; ++code) {
                std::array<int, 6> codes{};
                codes[size_t(position)] = code;
                QString expected = QStringLiteral("      ");
                expected.replace(position, 1, Rendering(code));
                const PatchNameResult result = StringToPatchName(NameBytes(codes));
                QVERIFY2(result.name == expected, qPrintable(QStringLiteral("position %1 code %2 gave '%3'")
                                                                 .arg(position)
                                                                 .arg(code)
                                                                 .arg(result.name)));
            }
        }
    }

    void stringToPatchName_tooShort_data() {
        QTest::addColumn<int>("size");
        for (int size = 0; size < 6; ++size)
            QTest::addRow("%d bytes", size) << size;
    }
    void stringToPatchName_tooShort() {
        QFETCH(int, size);
        const PatchNameResult result = StringToPatchName(QByteArray(size, char(0xFF)));
        QVERIFY(!result.ok);
        QVERIFY(result.name.isEmpty());
        QVERIFY(!result.error.isEmpty());
    }

    void bitTests_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("bit");
        QTest::addColumn<bool>("set");
        QTest::newRow("5 bit 0") << 5 << 0 << true;
        QTest::newRow("5 bit 1") << 5 << 1 << false;
        QTest::newRow("5 bit 2") << 5 << 2 << true;
        QTest::newRow("0 bit 0") << 0 << 0 << false;
        QTest::newRow("128 bit 7") << 128 << 7 << true;
        QTest::newRow("127 bit 7") << 127 << 7 << false;
        QTest::newRow("255 bit 8") << 255 << 8 << false;
        QTest::newRow("-1 bit 0") << -1 << 0 << true;
        QTest::newRow("-1 bit 15") << -1 << 15 << true;
        QTest::newRow("-32768 bit 15") << -32768 << 15 << true;
        QTest::newRow("-32768 bit 14") << -32768 << 14 << false;
        // The value is widened with its sign, so the bits above 15 of a negative value are set.
        QTest::newRow("-2 bit 20") << -2 << 20 << true;
        QTest::newRow("-2 bit 0") << -2 << 0 << false;
        QTest::newRow("32767 bit 16") << 32767 << 16 << false;
    }
    void bitTests() {
        QFETCH(int, value);
        QFETCH(int, bit);
        QFETCH(bool, set);
        QCOMPARE(IsBitSet(qint16(value), qint16(bit)), set);
        QCOMPARE(BitValue(qint16(value), qint16(bit)), qint16(set ? 1 : 0));
    }

    void setAndClearBit_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("bit");
        QTest::addColumn<int>("afterSet");
        QTest::addColumn<int>("afterClear");
        QTest::newRow("0 bit 1") << 0 << 1 << 2 << 0;
        QTest::newRow("255 bit 1") << 255 << 1 << 255 << 253;
        QTest::newRow("254 bit 0") << 254 << 0 << 255 << 254;
        QTest::newRow("-1 bit 0") << -1 << 0 << -1 << -2;
        QTest::newRow("-32768 bit 0") << -32768 << 0 << -32767 << -32768;
        QTest::newRow("-1 bit 15") << -1 << 15 << -1 << 32767;
        QTest::newRow("0x1F bit 4") << 0x1F << 4 << 0x1F << 0x0F;
    }
    void setAndClearBit() {
        QFETCH(int, value);
        QFETCH(int, bit);
        QFETCH(int, afterSet);
        QFETCH(int, afterClear);
        qint16 v = qint16(value);
        SetBit(v, qint16(bit));
        QCOMPARE(int(v), afterSet);
        v = qint16(value);
        ClearBit(v, qint16(bit));
        QCOMPARE(int(v), afterClear);
    }

    void listLines() {
        const QByteArray store = StoreOf(100);
        const QStringList lines = FillPatchList(store);
        QCOMPARE(lines.size(), 100);
        QCOMPARE(lines[0], QStringLiteral("01:  A0    "));
        QCOMPARE(lines[6], QStringLiteral("07:  G6    "));
        QCOMPARE(lines[8], QStringLiteral("09:  I8    "));
        QCOMPARE(lines[9], QStringLiteral("10:  J9    "));
        QCOMPARE(lines[98], QStringLiteral("99:  U8    "));
        QCOMPARE(lines[99], QStringLiteral("100:  V9    "));
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(PatchListLine(store, i), lines[i]);
        QCOMPARE(PatchCountToolTip(lines.size()), QStringLiteral("100 Patches"));
        QCOMPARE(PatchCountToolTip(0), QStringLiteral("0 Patches"));
    }

    void partialLastEntry_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("empty") << 0 << QStringList() << false;
        QTest::newRow("one image") << 18 << QStringList{QStringLiteral("01:  A0    ")} << false;
        QTest::newRow("19 bytes") << 19 << QStringList{QStringLiteral("01:  A0    "), QStringLiteral("02:  ")}
                                  << true;
        QTest::newRow("tail of 16 bytes")
            << 34 << QStringList{QStringLiteral("01:  A0    "), QStringLiteral("02:  ")} << true;
        // 17 bytes hold the whole name field.
        QTest::newRow("tail of 17 bytes")
            << 35 << QStringList{QStringLiteral("01:  A0    "), QStringLiteral("02:  B1    ")} << false;
        QTest::newRow("40 bytes") << 40
                                  << QStringList{QStringLiteral("01:  A0    "), QStringLiteral("02:  B1    "),
                                                 QStringLiteral("03:  ")}
                                  << true;
    }
    void partialLastEntry() {
        QFETCH(int, size);
        QFETCH(QStringList, lines);
        QFETCH(bool, unreadable);
        const QByteArray store = StoreOf(3).left(size);
        QCOMPARE(EntryCount(store), lines.size());
        QCOMPARE(FillPatchList(store), lines);
        QString error;
        QCOMPARE(StoreHasUnreadableName(store, &error), unreadable);
        QCOMPARE(error.isEmpty(), !unreadable);
    }

    void imageFromStorePadsWithBlanks() {
        const QByteArray store = StoreOf(2).left(20);
        const PatchImage last = PatchImage::FromStore(store, 1);
        QCOMPARE(last.Bytes(), store.mid(18) + QByteArray(16, ' '));
        QCOMPARE(PatchImage::FromStore(store, 0).Bytes(), store.left(18));
    }

    void fieldRead_data() {
        QTest::addColumn<int>("byte1");
        QTest::addColumn<int>("byte3");
        QTest::addColumn<int>("byte17");
        QTest::addColumn<int>("driveType");
        QTest::addColumn<int>("cabType");
        QTest::addColumn<int>("cabSpeaker");
        QTest::addColumn<bool>("driveOn");
        QTest::addColumn<bool>("cabOn");
        QTest::newRow("all zero") << 0 << 0 << 0 << 0 << 0 << 0 << false << false;
        QTest::newRow("drive 14 with high bits") << (0xE0 | 14) << 0 << 0 << 14 << 0 << 0 << false << false;
        QTest::newRow("drive 23") << 23 << 0 << 0 << 23 << 0 << 0 << false << false;
        QTest::newRow("drive 27 has no entry") << (0xE0 | 27) << 0 << 0 << -1 << 0 << 0 << false << false;
        QTest::newRow("cab 5 speaker 4, bits 0 and 7 set")
            << 0 << (0x81 | 5 << 1 | 4 << 4) << 0 << 0 << 5 << 4 << false << false;
        QTest::newRow("cab type 6 has no entry") << 0 << (6 << 1) << 0 << 0 << -1 << 0 << false << false;
        QTest::newRow("cab type 7 has no entry") << 0 << (7 << 1) << 0 << 0 << -1 << 0 << false << false;
        QTest::newRow("speaker 6") << 0 << (6 << 4) << 0 << 0 << 0 << 6 << false << false;
        QTest::newRow("speaker 7 has no entry") << 0 << (7 << 4) << 0 << 0 << 0 << -1 << false << false;
        QTest::newRow("drive module on") << 0 << 0 << 0x02 << 0 << 0 << 0 << true << false;
        QTest::newRow("cab module on") << 0 << 0 << 0x04 << 0 << 0 << 0 << false << true;
        QTest::newRow("other bits of byte 17") << 0 << 0 << 0xF9 << 0 << 0 << 0 << false << false;
    }
    void fieldRead() {
        QFETCH(int, byte1);
        QFETCH(int, byte3);
        QFETCH(int, byte17);
        QFETCH(int, driveType);
        QFETCH(int, cabType);
        QFETCH(int, cabSpeaker);
        QFETCH(bool, driveOn);
        QFETCH(bool, cabOn);
        PatchImage image(QByteArray(18, char(0xAA)));
        image.SetByte(1, quint8(byte1));
        image.SetByte(3, quint8(byte3));
        image.SetByte(17, quint8(byte17));
        const DetailValues values = ShowPatchDetails(image);
        QCOMPARE(values.driveType, driveType);
        QCOMPARE(values.cabType, cabType);
        QCOMPARE(values.cabSpeaker, cabSpeaker);
        QCOMPARE(values.driveOn, driveOn);
        QCOMPARE(values.cabOn, cabOn);
    }

    // Every value of every bound field, written into many random images: the field reads back, and
    // no other bit of the image changes.
    void fieldWriteKeepsOtherBits_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("values");
        QTest::newRow("drive type") << int(BoundField::DriveType) << 1 << 0x1F << 24;
        QTest::newRow("cab type") << int(BoundField::CabType) << 3 << 0x0E << 6;
        QTest::newRow("cab speaker") << int(BoundField::CabSpeaker) << 3 << 0x70 << 7;
        QTest::newRow("drive module") << int(BoundField::DriveModule) << 17 << 0x02 << 2;
        QTest::newRow("cab module") << int(BoundField::CabModule) << 17 << 0x04 << 2;
    }
    void fieldWriteKeepsOtherBits() {
        QFETCH(int, field);
        QFETCH(int, position);
        QFETCH(int, mask);
        QFETCH(int, values);
        std::mt19937 random(1234);
        std::uniform_int_distribution<int> byteValue(0, 255);
        for (int round = 0; round < 200; ++round) {
            QByteArray bytes(18, '\0');
            for (char& b : bytes)
                b = char(byteValue(random));
            const PatchImage before(bytes);
            for (int value = 0; value < values; ++value) {
                PatchImage after = before;
                WriteBoundField(after, BoundField(field), value);
                for (int p = 1; p <= 18; ++p) {
                    const int keep = p == position ? ~mask & 0xFF : 0xFF;
                    QCOMPARE(after.Byte(p) & keep, before.Byte(p) & keep);
                }
                const DetailValues shown = ShowPatchDetails(after);
                switch (BoundField(field)) {
                case BoundField::DriveType:
                    QCOMPARE(shown.driveType, value);
                    break;
                case BoundField::CabType:
                    QCOMPARE(shown.cabType, value);
                    break;
                case BoundField::CabSpeaker:
                    QCOMPARE(shown.cabSpeaker, value);
                    break;
                case BoundField::DriveModule:
                    QCOMPARE(shown.driveOn, value == 1);
                    break;
                case BoundField::CabModule:
                    QCOMPARE(shown.cabOn, value == 1);
                    break;
                }
            }
        }
    }

    void fieldWriteExamples_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("cab type keeps speaker and bits 0, 7")
            << int(BoundField::CabType) << 1 << 3 << (0x81 | 3 << 1 | 5 << 4) << (0x81 | 1 << 1 | 5 << 4);
        QTest::newRow("speaker keeps cab type and bits 0, 7")
            << int(BoundField::CabSpeaker) << 0 << 3 << (0x81 | 3 << 1 | 5 << 4) << (0x81 | 3 << 1);
        QTest::newRow("drive on keeps name bit 0") << int(BoundField::DriveModule) << 1 << 17 << 0x01 << 0x03;
    }
    void fieldWriteExamples() {
        QFETCH(int, field);
        QFETCH(int, value);
        QFETCH(int, position);
        QFETCH(int, before);
        QFETCH(int, after);
        PatchImage image;
        image.SetByte(position, quint8(before));
        WriteBoundField(image, BoundField(field), value);
        QCOMPARE(int(image.Byte(position)), after);
    }

    void tweetIsEntryTwo() {
        PatchImage image;
        image.SetByte(1, quint8(0xE0 | 27));
        QCOMPARE(ShowPatchDetails(image).driveType, -1);
        WriteBoundField(image, BoundField::DriveType, 2);
        QCOMPARE(ParameterTable(ParameterList::DriveType).entries.value(ShowPatchDetails(image).driveType),
                 QStringLiteral("Tweet"));
        QCOMPARE(int(image.Byte(1)), 0xE2);
    }

    void valueTables_data() {
        QTest::addColumn<int>("list");
        QTest::addColumn<QString>("objectName");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        auto row = [](ParameterList list, const char* name, int count, const char* first, const char* last) {
            QTest::newRow(name) << int(list) << QString::fromUtf8(name) << count << QString::fromUtf8(first)
                                << QString::fromUtf8(last);
        };
        row(ParameterList::DriveType, "cbxDriveType", 24, "US-Clean", "Mix Fx");
        row(ParameterList::CabType, "cbxCabType", 6, "Combo", "Bass Stack");
        row(ParameterList::CabSpeaker, "cbxCabSpeaker", 7, "Combo 1*12\"", "Bass Stack 4*6.5\"");
        row(ParameterList::ModType, "cbxModType", 14, "Chorus", "Air");
        row(ParameterList::RevType, "cbxRevType", 10, "Hall", "Wide");
        row(ParameterList::ZNRLevel, "cbxZNRLevel", 16, "0", "15");
        row(ParameterList::EqHigh, "cbxEqHigh", 25, "-12", "12");
        row(ParameterList::EqMid, "cbxEqMid", 25, "-12", "12");
        row(ParameterList::EqLow, "cbxEqLow", 25, "-12", "12");
        row(ParameterList::EqLevel, "cbxEqLevel", 7, "1", "7");
        row(ParameterList::TotalLevel, "cbxTotalLevel", 30, "1", "30");
    }
    void valueTables() {
        QFETCH(int, list);
        QFETCH(QString, objectName);
        QFETCH(int, count);
        QFETCH(QString, first);
        QFETCH(QString, last);
        const ParameterTableInfo& table = ParameterTable(ParameterList(list));
        QCOMPARE(table.objectName, objectName);
        QCOMPARE(table.entries.size(), count);
        QCOMPARE(table.entries.first(), first);
        QCOMPARE(table.entries.last(), last);
        QCOMPARE(int(table.list), list);
        // Fill order is the enum's order.
        QCOMPARE(ParameterTables()[size_t(list)].objectName, objectName);
    }

    void valueTableEntries_data() {
        QTest::addColumn<int>("list");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("entry");
        auto row = [](const char* tag, ParameterList list, int index, const char* entry) {
            QTest::newRow(tag) << int(list) << index << QString::fromUtf8(entry);
        };
        row("drive 2", ParameterList::DriveType, 2, "Tweet");
        row("drive 14", ParameterList::DriveType, 14, "9002");
        row("cab 1", ParameterList::CabType, 1, "Bright Combo");
        row("speaker 1", ParameterList::CabSpeaker, 1, "Combo 2*12\"");
        row("speaker 4", ParameterList::CabSpeaker, 4, "Multiple Amp Stack");
        row("mod 10", ParameterList::ModType, 10, "Wide");
        row("rev 5", ParameterList::RevType, 5, "Dylay & Hall");
        row("rev 6", ParameterList::RevType, 6, "Room & Hall");
        row("rev 8", ParameterList::RevType, 8, "not used");
        row("eq high 12", ParameterList::EqHigh, 12, "0");
        row("eq mid 11", ParameterList::EqMid, 11, "-1");
        row("total 9", ParameterList::TotalLevel, 9, "10");
    }
    void valueTableEntries() {
        QFETCH(int, list);
        QFETCH(int, index);
        QFETCH(QString, entry);
        QCOMPARE(ParameterTable(ParameterList(list)).entries.value(index), entry);
    }

    void speakerEntriesEndWithInchSign() {
        const QStringList entries = ParameterTable(ParameterList::CabSpeaker).entries;
        for (int i = 0; i < entries.size(); ++i)
            QCOMPARE(entries[i].endsWith(QLatin1Char('"')), i != 4);
        QCOMPARE(entries[0].size(), 11);
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"

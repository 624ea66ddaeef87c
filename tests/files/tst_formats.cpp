#include "LibraryFile.h"
#include "TestUtil.h"
#include "TextEncoding.h"

#include <QSet>
#include <QTest>

using namespace quillbox;

Q_DECLARE_METATYPE(quillbox::TextEncoding)

namespace {
QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

QByteArray Sequence(int from, int to) {
    QByteArray bytes;
    const int step = from <= to ? 1 : -1;
    for (int v = from; v != to + step; v += step)
        bytes.append(char(v));
    return bytes;
}
} // namespace

class TestFormats : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void libraryCodec_data() {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty library") << QByteArray() << Bytes({1});
        QTest::newRow("one image") << Sequence(1, 18)
                                   << Bytes(
                                          {1, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1});
        QTest::newRow("body of 19 bytes") << Sequence(101, 119) << Bytes({1}) + Sequence(119, 101);
        QTest::newRow("two images, NUL and 255")
            << QByteArray(18, '\0') + QByteArray(18, char(0xFF))
            << Bytes({1}) + QByteArray(18, char(0xFF)) + QByteArray(18, '\0');
    }
    void libraryCodec() {
        QFETCH(QByteArray, store);
        QFETCH(QByteArray, file);
        QCOMPARE(EncodeLibrary(store), file);
        QVERIFY(IsValidLibrary(file));
        QCOMPARE(DecodeLibrary(file), store);
    }

    void libraryValidity_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("valid");
        QTest::newRow("0 bytes") << QByteArray() << false;
        QTest::newRow("marker only") << Bytes({1}) << true;
        QTest::newRow("first byte 2") << Bytes({2, 1, 1}) << false;
        QTest::newRow("first byte 0") << Bytes({0, 1}) << false;
        QTest::newRow("any body length") << Bytes({1, 7, 7, 7}) << true;
        QTest::newRow("a device patch file starting with 1") << Bytes({1}) + QByteArray(17, 'p') << true;
    }
    void libraryValidity() {
        QFETCH(QByteArray, content);
        QFETCH(bool, valid);
        QCOMPARE(IsValidLibrary(content), valid);
    }

    void extensionRule_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("library");
        QTest::newRow("no extension") << QStringLiteral("/lib/new") << QStringLiteral("/lib/new.pslib");
        QTest::newRow("has extension")
            << QStringLiteral("/lib/new.pslib") << QStringLiteral("/lib/new.pslib");
        QTest::newRow("upper case") << QStringLiteral("/lib/X.PSLIB") << QStringLiteral("/lib/X.PSLIB.pslib");
        QTest::newRow("mixed case") << QStringLiteral("a.Pslib") << QStringLiteral("a.Pslib.pslib");
        QTest::newRow("extension only") << QStringLiteral(".pslib") << QStringLiteral(".pslib");
        QTest::newRow("shorter than six") << QStringLiteral("pslib") << QStringLiteral("pslib.pslib");
        QTest::newRow("empty") << QString() << QStringLiteral(".pslib");
        QTest::newRow("other extension") << QStringLiteral("song.pch") << QStringLiteral("song.pch.pslib");
        QTest::newRow("pslib inside") << QStringLiteral("a.pslib.txt") << QStringLiteral("a.pslib.txt.pslib");
        QTest::newRow("no dot") << QStringLiteral("mypslib") << QStringLiteral("mypslib.pslib");
    }
    void extensionRule() {
        QFETCH(QString, path);
        QFETCH(QString, library);
        QCOMPARE(ApplyLibraryExtension(path), library);
        QCOMPARE(SideFilePath(library), library + QStringLiteral(".txt"));
    }

    void decodeText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::newRow("empty") << QByteArray() << QString() << TextEncoding::Cp1252;
        QTest::newRow("ASCII counts as 1252")
            << QByteArrayLiteral("a=1\r\n") << QStringLiteral("a=1\r\n") << TextEncoding::Cp1252;
        QTest::newRow("1252 letters") << QByteArrayLiteral("caf\xE9 \x80 \x8A\x9F")
                                      << QStringLiteral(u"café € ŠŸ") << TextEncoding::Cp1252;
        QTest::newRow("undefined 1252 bytes")
            << QByteArrayLiteral("\x81\x8D\x8F\x90\x9D") << QStringLiteral(u"\u0081\u008D\u008F\u0090\u009D")
            << TextEncoding::Cp1252;
        QTest::newRow("UTF-8") << QByteArrayLiteral("caf\xC3\xA9 \xE2\x82\xAC") << QStringLiteral(u"café €")
                               << TextEncoding::Utf8;
        QTest::newRow("UTF-8 four bytes")
            << QByteArrayLiteral("\xF0\x9F\x98\x80") << QStringLiteral(u"\U0001F600") << TextEncoding::Utf8;
        QTest::newRow("UTF-8 BOM") << QByteArrayLiteral("\xEF\xBB\xBF\xD0\xB6=1") << QStringLiteral(u"ж=1")
                                   << TextEncoding::Utf8Bom;
        QTest::newRow("UTF-8 BOM, ASCII") << QByteArrayLiteral("\xEF\xBB\xBF"
                                                               "a")
                                          << QStringLiteral("a") << TextEncoding::Utf8Bom;
        QTest::newRow("UTF-16 LE") << QByteArray("\xFF\xFE"
                                                 "a\0\x36\x04",
                                                 6)
                                   << QStringLiteral(u"aж") << TextEncoding::Utf16LE;
        QTest::newRow("UTF-16 BE") << QByteArray("\xFE\xFF\0a\x04\x36", 6) << QStringLiteral(u"aж")
                                   << TextEncoding::Utf16BE;
        QTest::newRow("invalid UTF-8")
            << QByteArrayLiteral("\xC3\x28") << QStringLiteral(u"Ã(") << TextEncoding::Cp1252;
        QTest::newRow("lone continuation byte")
            << QByteArrayLiteral("a\xA9") << QStringLiteral(u"a©") << TextEncoding::Cp1252;
        QTest::newRow("overlong slash")
            << QByteArrayLiteral("\xC0\xAF") << QStringLiteral(u"À¯") << TextEncoding::Cp1252;
        QTest::newRow("encoded surrogate")
            << QByteArrayLiteral("\xED\xA0\x80") << QStringLiteral(u"í\u00A0€") << TextEncoding::Cp1252;
        QTest::newRow("truncated sequence")
            << QByteArrayLiteral("x\xE2\x82") << QStringLiteral(u"x\u00E2\u201A") << TextEncoding::Cp1252;
        QTest::newRow("above U+10FFFF")
            << QByteArrayLiteral("\xF4\x90\x80\x80") << QStringLiteral(u"ô\u0090€€") << TextEncoding::Cp1252;
    }
    void decodeText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(TextEncoding, encoding);
        const DecodedText decoded = DecodeText(bytes);
        QCOMPARE(decoded.text, text);
        QCOMPARE(decoded.encoding, encoding);
        // What was read writes back to the same bytes.
        QCOMPARE(EncodeText(decoded.text, decoded.encoding), bytes);
    }

    void encodeText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QByteArray>("bytes");
        const QString text = QStringLiteral(u"aé€");
        QTest::newRow("1252") << text << TextEncoding::Cp1252 << QByteArrayLiteral("a\xE9\x80");
        QTest::newRow("UTF-8") << text << TextEncoding::Utf8 << QByteArrayLiteral("a\xC3\xA9\xE2\x82\xAC");
        QTest::newRow("UTF-8 BOM") << text << TextEncoding::Utf8Bom
                                   << QByteArrayLiteral("\xEF\xBB\xBF"
                                                        "a\xC3\xA9\xE2\x82\xAC");
        QTest::newRow("UTF-16 LE") << text << TextEncoding::Utf16LE
                                   << QByteArray("\xFF\xFE"
                                                 "a\0\xE9\0\xAC\x20",
                                                 8);
        QTest::newRow("UTF-16 BE") << text << TextEncoding::Utf16BE
                                   << QByteArray("\xFE\xFF\0a\0\xE9\x20\xAC", 8);
        QTest::newRow("1252 empty") << QString() << TextEncoding::Cp1252 << QByteArray();
    }
    void encodeText() {
        QFETCH(QString, text);
        QFETCH(TextEncoding, encoding);
        QFETCH(QByteArray, bytes);
        QCOMPARE(EncodeText(text, encoding), bytes);
    }

    // Every byte is one character, no two bytes share one, and each writes back as itself.
    void cp1252CoversEveryByte() {
        QSet<QChar> seen;
        for (int b = 0; b < 256; ++b) {
            const QByteArray byte(1, char(b));
            const DecodedText decoded = DecodeText(byte);
            QCOMPARE(decoded.encoding, TextEncoding::Cp1252);
            QCOMPARE(decoded.text.size(), 1);
            QVERIFY(!seen.contains(decoded.text[0]));
            seen.insert(decoded.text[0]);
            QVERIFY(FitsCp1252(decoded.text));
            QCOMPARE(EncodeText(decoded.text, TextEncoding::Cp1252), byte);
        }
        const QByteArray all = testutil::AllBytes();
        QCOMPARE(EncodeText(DecodeText(all).text, TextEncoding::Cp1252), all);
    }

    void cp1252Table_data() {
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("unicode");
        QTest::newRow("80 euro") << 0x80 << 0x20AC;
        QTest::newRow("85 ellipsis") << 0x85 << 0x2026;
        QTest::newRow("8C OE") << 0x8C << 0x0152;
        QTest::newRow("91 quote") << 0x91 << 0x2018;
        QTest::newRow("97 em dash") << 0x97 << 0x2014;
        QTest::newRow("99 trade mark") << 0x99 << 0x2122;
        QTest::newRow("9E z caron") << 0x9E << 0x017E;
        QTest::newRow("9F Y diaeresis") << 0x9F << 0x0178;
        QTest::newRow("E9 e acute") << 0xE9 << 0x00E9;
        QTest::newRow("FF") << 0xFF << 0x00FF;
    }
    void cp1252Table() {
        QFETCH(int, byte);
        QFETCH(int, unicode);
        QCOMPARE(int(DecodeText(QByteArray(1, char(byte))).text.at(0).unicode()), unicode);
    }

    void fitsCp1252_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fits");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("ASCII") << QStringLiteral("Lead with delay") << true;
        QTest::newRow("é €") << QStringLiteral(u"é €") << true;
        QTest::newRow("undefined byte's character") << QStringLiteral(u"\u0081") << true;
        QTest::newRow("U+0080 has no byte") << QStringLiteral(u"\u0080") << false;
        QTest::newRow("Cyrillic") << QStringLiteral(u"ж") << false;
        QTest::newRow("emoji") << QStringLiteral(u"a\U0001F600") << false;
        QTest::newRow("Polish l") << QStringLiteral(u"ł") << false;
    }
    void fitsCp1252() {
        QFETCH(QString, text);
        QFETCH(bool, fits);
        QCOMPARE(FitsCp1252(text), fits);
    }
};

int RunFormatTests(int argc, char** argv) {
    TestFormats test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_formats.moc"

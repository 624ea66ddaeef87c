#include "ProfileFile.h"
#include "TestUtil.h"

#include <QTest>
#include <random>

using namespace quillbox;

Q_DECLARE_METATYPE(quillbox::TextEncoding)

namespace {
const QString Section = QStringLiteral("Description");
const QString Default = QStringLiteral("<default>");

QByteArray Utf16(const char16_t* text) {
    return EncodeText(QString::fromUtf16(text), TextEncoding::Utf16LE);
}
} // namespace

class TestProfile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Reading as the Windows profile routines read.
    void read_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* tag, const QByteArray& file, const char* section, const char* key,
                      const QString& expected) {
            QTest::newRow(tag) << file << QString::fromUtf8(section) << QString::fromUtf8(key) << expected;
        };
        const QByteArray twoSections = "[s]\r\na=1\r\n[S]\r\na=2\r\nb=3\r\n";
        row("plain", "[Description]\r\n1=Crunch\r\n", "Description", "1", QStringLiteral("Crunch"));
        row("section name case", "[description]\r\n1=x\r\n", "DESCRIPTION", "1", QStringLiteral("x"));
        row("key name case", "[s]\r\nKey=v\r\n", "s", "kEY", QStringLiteral("v"));
        row("names trimmed", "[  s  ]\r\n   key   =  v  \r\n", " s ", " key ", QStringLiteral("v"));
        row("tabs trimmed", "[s]\r\n\tkey\t=\tv\t\r\n", "s", "key", QStringLiteral("v"));
        row("first section wins", twoSections, "s", "a", QStringLiteral("1"));
        row("second section is not read", twoSections, "s", "b", Default);
        row("first key wins", "[s]\r\na=1\r\nA=2\r\n", "s", "a", QStringLiteral("1"));
        row("key without '=' hides a later one", "[s]\r\na\r\na=1\r\n", "s", "a", Default);
        row("line without '='", "[s]\r\nflag\r\n", "s", "flag", Default);
        row("double quotes stripped", "[s]\r\na=\"x y\"\r\n", "s", "a", QStringLiteral("x y"));
        row("single quotes stripped", "[s]\r\na='x'\r\n", "s", "a", QStringLiteral("x"));
        row("blanks inside quotes kept", "[s]\r\na=  \"  x  \"  \r\n", "s", "a", QStringLiteral("  x  "));
        row("mismatched quotes kept", "[s]\r\na=\"x'\r\n", "s", "a", QStringLiteral("\"x'"));
        row("lone quote kept", "[s]\r\na=\"\r\n", "s", "a", QStringLiteral("\""));
        row("empty quotes", "[s]\r\na=\"\"\r\n", "s", "a", QString());
        row("only one pair removed", "[s]\r\na=\"\"x\"\"\r\n", "s", "a", QStringLiteral("\"x\""));
        row("quote inside kept", "[s]\r\na=say \"hi\"\r\n", "s", "a", QStringLiteral("say \"hi\""));
        row("value trimmed", "[s]\r\na=   v w  \t\r\n", "s", "a", QStringLiteral("v w"));
        row("value holds '='", "[s]\r\na=b=c\r\n", "s", "a", QStringLiteral("b=c"));
        row("empty value", "[s]\r\na=\r\n", "s", "a", QString());
        row("blank lines ignored", "\r\n\r\n[s]\r\n\r\n   \r\na=1\r\n", "s", "a", QStringLiteral("1"));
        row("name up to the last ']'", "[a]b]\r\nk=1\r\n", "a]b", "k", QStringLiteral("1"));
        row("text after the last ']'", "[s] tail\r\nk=1\r\n", "s", "k", QStringLiteral("1"));
        row("'[' without ']' is a key", "[s]\r\n[abc\r\nk=1\r\n", "s", "k", QStringLiteral("1"));
        row("'[' key reads as a key", "[s]\r\n[abc=2\r\n", "s", "[abc", QStringLiteral("2"));
        row("comment is a key", "[s]\r\n;x=1\r\n", "s", ";x", QStringLiteral("1"));
        row("commented key is not the key", "[s]\r\n;x=1\r\n", "s", "x", Default);
        row("CR only", "[s]\ra=1\rb=2", "s", "b", QStringLiteral("2"));
        row("LF only", "[s]\na=1\nb=2\n", "s", "b", QStringLiteral("2"));
        row("LF CR", "[s]\n\ra=1\n\rb=2\n\r", "s", "b", QStringLiteral("2"));
        row("no final line end", "[s]\r\na=last", "s", "a", QStringLiteral("last"));
        row("missing section", "[t]\r\na=1\r\n", "s", "a", Default);
        row("missing key", "[s]\r\na=1\r\n", "s", "z", Default);
        row("empty file", "", "s", "a", Default);
        row("key before any section", "a=1\r\n[s]\r\nb=2\r\n", "s", "a", Default);
        row("section indented", "   [s]\r\na=1\r\n", "s", "a", QStringLiteral("1"));
        row("1252 file", "[s]\r\na=caf\xE9 \x80\r\n", "s", "a", QStringLiteral(u"café €"));
        row("UTF-8 file", "[s]\r\na=caf\xC3\xA9 \xD0\xB6\r\n", "s", "a", QStringLiteral(u"café ж"));
        row("UTF-8 BOM file", "\xEF\xBB\xBF[s]\r\na=\xD0\xB6\r\n", "s", "a", QStringLiteral(u"ж"));
        row("UTF-16 file", Utf16(u"[s]\r\na=\u0436\r\n"), "s", "a", QStringLiteral(u"ж"));
    }
    void read() {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const ProfileFile profile = ProfileFile::FromBytes(file);
        QCOMPARE(profile.Value(section, key, Default), expected);
        // The section map agrees with single reads (a null entry reads as the default).
        const QHash<QString, QString> values = profile.SectionValues(section);
        const QString viaMap = values.value(key.trimmed().toLower(), Default);
        QCOMPARE(viaMap.isNull() ? Default : viaMap, expected);
    }

    void unchangedFileKeepsItsBytes_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("mixed line ends") << QByteArray("[s]\r\na=1\nb=2\rc=3\n\r\r\nd=4");
        QTest::newRow("blanks and padding") << QByteArray("  [s]  \r\n\t a = 1 \t\r\n   \r\n");
        QTest::newRow("1252 bytes") << QByteArray("[s]\r\na=\xE9\x80\x81\x8D\x8F\x90\x9D\xFF\r\n");
        QTest::newRow("UTF-8") << QByteArray("[s]\na=\xC3\xA9\n");
        QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF[s]\r\na=1");
        QTest::newRow("UTF-16") << Utf16(u"[s]\r\na=\u0436\r\n");
        QTest::newRow("binary") << testutil::AllBytes();
    }
    void unchangedFileKeepsItsBytes() {
        QFETCH(QByteArray, file);
        ProfileFile profile = ProfileFile::FromBytes(file);
        QCOMPARE(profile.ToBytes(), file);
        profile.SetValues(Section, {});
        QCOMPARE(profile.ToBytes(), file);
    }

    void write_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        auto row = [](const char* tag, const QByteArray& before, const char* key, const QString& value,
                      const QByteArray& after) {
            QTest::newRow(tag) << before << QString::fromUtf8(key) << value << after;
        };
        row("new file", "", "1", QStringLiteral("a"), "[Description]\r\n1=a\r\n");
        row("in place, line end kept", "[x]\r\nk=1\r\n[Description]\n1=old\n2=two\n", "1",
            QStringLiteral("new"), "[x]\r\nk=1\r\n[Description]\n1=new\n2=two\n");
        row("in place, file's key spelling", "[description]\r\n  Abc = old \r\nz=1\r\n", "ABC",
            QStringLiteral("new"), "[description]\r\nAbc=new\r\nz=1\r\n");
        row("new key before blank line", "[Description]\r\n1=a\r\n\r\n[Other]\r\nz=1\r\n", "2",
            QStringLiteral("b"), "[Description]\r\n1=a\r\n2=b\r\n\r\n[Other]\r\nz=1\r\n");
        row("new key, no final line end", "[Description]\r\n1=a", "2", QStringLiteral("b"),
            "[Description]\r\n1=a\r\n2=b\r\n");
        row("new key into empty section", "[Description]\r\n[Other]\r\n", "2", QStringLiteral("b"),
            "[Description]\r\n2=b\r\n[Other]\r\n");
        row("new key after a comment", "[Description]\r\n1=a\r\n; note\r\n[Other]\r\n", "2",
            QStringLiteral("b"), "[Description]\r\n1=a\r\n; note\r\n2=b\r\n[Other]\r\n");
        row("new section at the end", "[Other]\r\nz=1", "2", QStringLiteral("b"),
            "[Other]\r\nz=1\r\n[Description]\r\n2=b\r\n");
        row("new section after blank lines", "[Other]\r\nz=1\r\n\r\n", "2", QStringLiteral("b"),
            "[Other]\r\nz=1\r\n\r\n[Description]\r\n2=b\r\n");
        row("first of duplicate keys", "[Description]\r\n1=a\r\n1=b\r\n", "1", QStringLiteral("c"),
            "[Description]\r\n1=c\r\n1=b\r\n");
        row("first of duplicate sections", "[Description]\r\n1=a\r\n[Description]\r\n2=x\r\n", "2",
            QStringLiteral("b"), "[Description]\r\n1=a\r\n2=b\r\n[Description]\r\n2=x\r\n");
        row("key without '=' gets a value", "[Description]\r\n1\r\n", "1", QStringLiteral("a"),
            "[Description]\r\n1=a\r\n");
        row("leading blank quoted", "", "1", QStringLiteral(" x"), "[Description]\r\n1=\" x\"\r\n");
        row("surrounding quotes quoted", "", "1", QStringLiteral("'x'"), "[Description]\r\n1=\"'x'\"\r\n");
        row("inner quotes not quoted", "", "1", QStringLiteral("say \"hi\" now"),
            "[Description]\r\n1=say \"hi\" now\r\n");
        row("line break never written", "", "1", QStringLiteral("a\r\nb\nc"),
            "[Description]\r\n1=a  b c\r\n");
        row("empty value", "[Description]\r\n1=a\r\n", "1", QString(), "[Description]\r\n1=\r\n");
    }
    void write() {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        ProfileFile profile = ProfileFile::FromBytes(before);
        profile.SetValue(Section, key, value);
        QCOMPARE(profile.ToBytes(), after);
    }

    // One pass over many entries leaves exactly what one write after the other leaves.
    void setValuesMatchesSingleWrites() {
        std::mt19937 random(20240607);
        const QByteArray base =
            "; head\r\n[Other]\r\n3=x\r\n[description]\r\n3=old\r\nK7=old\r\n\r\n[Tail]\r\n1=t\r\n";
        for (int round = 0; round < 20; ++round) {
            QList<std::pair<QString, QString>> entries;
            const int count = int(random() % 300);
            for (int i = 0; i < count; ++i) {
                QString key = QStringLiteral("k%1").arg(random() % 60);
                if (random() % 2)
                    key = key.toUpper();
                if (random() % 5 == 0)
                    key = QStringLiteral(" %1 ").arg(key);
                entries.append({key, QStringLiteral("v%1%2").arg(i).arg(
                                         random() % 3 == 0 ? QStringLiteral(u" ж ") : QString())});
            }
            ProfileFile once = ProfileFile::FromBytes(base);
            once.SetValues(Section, entries);
            ProfileFile stepwise = ProfileFile::FromBytes(base);
            for (const auto& [key, value] : entries)
                stepwise.SetValue(Section, key, value);
            QCOMPARE(once.ToBytes(), stepwise.ToBytes());
            QCOMPARE(once.Encoding(), stepwise.Encoding());
            const ProfileFile reread = ProfileFile::FromBytes(once.ToBytes());
            for (const auto& [key, value] : entries) {
                const QString last =
                    std::find_if(entries.rbegin(), entries.rend(), [&](const auto& e) {
                        return e.first.trimmed().compare(key.trimmed(), Qt::CaseInsensitive) == 0;
                    })->second;
                QCOMPARE(reread.Value(Section, key, Default), last);
            }
            QCOMPARE(reread.Value(QStringLiteral("Other"), QStringLiteral("3"), Default),
                     QStringLiteral("x"));
            QCOMPARE(reread.Value(QStringLiteral("Tail"), QStringLiteral("1"), Default), QStringLiteral("t"));
        }
    }

    void valueReadsBackUnchanged_data() {
        QTest::addColumn<QString>("value");
        for (const QString& v : {QStringLiteral("plain"),
                                 QStringLiteral(" lead"),
                                 QStringLiteral("trail "),
                                 QStringLiteral("  both  "),
                                 QStringLiteral("\ttab"),
                                 QStringLiteral("tab\t"),
                                 QStringLiteral("\"q\""),
                                 QStringLiteral("'q'"),
                                 QStringLiteral("\""),
                                 QStringLiteral("'"),
                                 QStringLiteral("\"a'"),
                                 QStringLiteral("'a\""),
                                 QStringLiteral("\"\""),
                                 QStringLiteral("\" spaced \""),
                                 QStringLiteral("a&*&b"),
                                 QStringLiteral("&*&"),
                                 QString(),
                                 QStringLiteral("   "),
                                 QStringLiteral(u"é€"),
                                 QStringLiteral(u"ж"),
                                 QStringLiteral(u"\U0001F600"),
                                 QStringLiteral("=x="),
                                 QStringLiteral("[x]"),
                                 QStringLiteral(";c"),
                                 QStringLiteral(u"\u00A0nbsp\u00A0")})
            QTest::newRow(qPrintable(QStringLiteral("<%1>").arg(v))) << v;
    }
    void valueReadsBackUnchanged() {
        QFETCH(QString, value);
        for (const QByteArray& before : {QByteArray(), QByteArray("[Description]\r\n1=x\r\n")}) {
            ProfileFile profile = ProfileFile::FromBytes(before);
            profile.SetValue(Section, QStringLiteral("1"), value);
            const QByteArray bytes = profile.ToBytes();
            QCOMPARE(ProfileFile::FromBytes(bytes).Value(Section, QStringLiteral("1"), Default), value);
            if (value == QLatin1String("plain"))
                QVERIFY(bytes.contains("1=plain\r\n"));
        }
    }

    void writeEncoding_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("value");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("new file, fits 1252")
            << QByteArray() << QStringLiteral(u"café €") << TextEncoding::Cp1252
            << QByteArray("[Description]\r\n2=caf\xE9 \x80\r\n");
        QTest::newRow("new file, beyond 1252")
            << QByteArray() << QStringLiteral(u"ж") << TextEncoding::Utf8Bom
            << QByteArray("\xEF\xBB\xBF[Description]\r\n2=\xD0\xB6\r\n");
        QTest::newRow("ASCII file takes 1252")
            << QByteArray("[Description]\r\n") << QStringLiteral(u"é") << TextEncoding::Cp1252
            << QByteArray("[Description]\r\n2=\xE9\r\n");
        QTest::newRow("1252 file stays 1252")
            << QByteArray("[Description]\r\n1=\xE9\r\n2=x\r\n") << QStringLiteral(u"€")
            << TextEncoding::Cp1252 << QByteArray("[Description]\r\n1=\xE9\r\n2=\x80\r\n");
        QTest::newRow("1252 file becomes UTF-8 BOM")
            << QByteArray("[Description]\r\n1=\xE9\r\n") << QStringLiteral(u"ж") << TextEncoding::Utf8Bom
            << QByteArray("\xEF\xBB\xBF[Description]\r\n1=\xC3\xA9\r\n2=\xD0\xB6\r\n");
        QTest::newRow("UTF-8 file stays without BOM")
            << QByteArray("[Description]\n1=\xC3\xA9\n") << QStringLiteral(u"ж\U0001F600")
            << TextEncoding::Utf8 << QByteArray("[Description]\n1=\xC3\xA9\n2=\xD0\xB6\xF0\x9F\x98\x80\r\n");
        QTest::newRow("UTF-8 BOM file stays")
            << QByteArray("\xEF\xBB\xBF[Description]\r\n") << QStringLiteral("a") << TextEncoding::Utf8Bom
            << QByteArray("\xEF\xBB\xBF[Description]\r\n2=a\r\n");
        QTest::newRow("UTF-16 file stays")
            << Utf16(u"[Description]\r\n") << QStringLiteral(u"ж") << TextEncoding::Utf16LE
            << Utf16(u"[Description]\r\n2=\u0436\r\n");
    }
    void writeEncoding() {
        QFETCH(QByteArray, before);
        QFETCH(QString, value);
        QFETCH(TextEncoding, encoding);
        QFETCH(QByteArray, after);
        ProfileFile profile = ProfileFile::FromBytes(before);
        profile.SetValue(Section, QStringLiteral("2"), value);
        QCOMPARE(profile.Encoding(), encoding);
        QCOMPARE(profile.ToBytes(), after);
        QCOMPARE(ProfileFile::FromBytes(after).Value(Section, QStringLiteral("2"), Default), value);
    }
};

int RunProfileTests(int argc, char** argv) {
    TestProfile test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_profile.moc"

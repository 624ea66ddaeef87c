#include "DescriptionFile.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "SafeSave.h"
#include "TestUtil.h"

#include <QRegularExpression>
#include <QTest>
#include <random>

using namespace quillbox;
using namespace testutil;

namespace {

// Pieces a random description is made of: words, blanks, every kind of line break, the line-break
// code itself, quotes, letters inside and outside Windows-1252, and profile syntax.
const QStringList Pieces = {
    QStringLiteral("Crunch"),      QStringLiteral("lead"), QStringLiteral("x"),   QStringLiteral("Verse 2"),
    QStringLiteral(" "),           QStringLiteral("  "),   QStringLiteral("\t"),  QStringLiteral("\r\n"),
    QStringLiteral("\r"),          QStringLiteral("\n"),   QStringLiteral("&*&"), QStringLiteral("\""),
    QStringLiteral("'"),           QStringLiteral(u"é"),   QStringLiteral(u"€"),  QStringLiteral(u"ж"),
    QStringLiteral(u"\U0001F3B8"), QStringLiteral("="),    QStringLiteral("["),   QStringLiteral("]"),
    QStringLiteral(";"),
};

QString RandomDescription(std::mt19937& random) {
    QString text;
    const int pieces = int(random() % 14);
    for (int i = 0; i < pieces; ++i) {
        const QString& piece = Pieces[qsizetype(random() % Pieces.size())];
        if (text.size() + piece.size() > 255)
            break;
        text += piece;
    }
    return text;
}

// What the file format gives back: every line break (CR LF, lone CR, lone LF) and every "&*&"
// the user typed comes back as CR LF.
QString AfterRoundTrip(QString description) {
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n|&\\*&"));
    return description.replace(breaks, QStringLiteral("\r\n"));
}

QByteArray RandomStore(std::mt19937& random, qsizetype entries) {
    QByteArray store(entries * 18, Qt::Uninitialized);
    for (char& b : store)
        b = char(random() & 0xFF);
    return store;
}

} // namespace

class TestRoundTrip : public QObject {
    Q_OBJECT

    ScratchFolder dir_;

    // Saves as a save command does: side file first, then the library file, together.
    void Save(const QString& library, const QByteArray& store, const QStringList& descriptions) {
        const QString side = SideFilePath(library);
        std::optional<QByteArray> existing;
        if (FileExists(side))
            existing = ReadFileAsString(side);
        SafeSave save;
        if (const std::optional<QByteArray> sideBytes =
                BuildSideFile(existing, descriptions, descriptions.size() - 1))
            save.Add(side, *sideBytes);
        save.Add(library, EncodeLibrary(store));
        save.Commit();
    }

    void Check(const QString& library, const QByteArray& store, const QStringList& descriptions) {
        const QByteArray content = ReadFileAsString(library);
        QVERIFY(IsValidLibrary(content));
        QCOMPARE(content.size(), store.size() + 1);
        QVERIFY(DecodeLibrary(content) == store);
        const DescriptionReader reader(SideFilePath(library));
        for (qsizetype i = 1; i < descriptions.size(); ++i) {
            const QString expected = AfterRoundTrip(descriptions[i]);
            const QString got = reader.Description(i);
            if (got != expected)
                QFAIL(qPrintable(QStringLiteral("description %1: wrote [%2], read [%3]")
                                     .arg(i)
                                     .arg(descriptions[i].toHtmlEscaped(), got.toHtmlEscaped())));
        }
    }

private Q_SLOTS:
    void init() {
        dir_.Create();
        QVERIFY(dir_.IsValid());
    }
    void cleanup() { dir_.Reset(); }

    void libraryAndDescriptions_data() {
        QTest::addColumn<int>("entries");
        for (int n : {0, 1, 1820, 1821, 100000})
            QTest::addRow("%d entries", n) << n;
    }
    void libraryAndDescriptions() {
        QFETCH(int, entries);
        std::mt19937 random(quint32(7919 + entries));
        const QString library = dir_.Path(QStringLiteral("round.pslib"));
        const QByteArray store = RandomStore(random, entries);
        QStringList descriptions{QString()};
        for (int i = 1; i <= entries; ++i)
            descriptions.append(RandomDescription(random));

        Save(library, store, descriptions);
        Check(library, store, descriptions);
        if (entries == 0) {
            QCOMPARE(ReadRaw(library), QByteArray(1, '\x01'));
            QVERIFY(!FileExists(SideFilePath(library))); // nothing to write, so no side file
        }

        // Save again over the files just written: a shorter library with some descriptions changed.
        const int kept = entries - entries / 3;
        QStringList second = descriptions.mid(0, kept + 1);
        for (int i = 1; i <= kept; i += 7)
            second[i] = RandomDescription(random);
        Save(library, store.left(kept * 18), second);
        Check(library, store.left(kept * 18), second);
        QCOMPARE(FolderEntries(dir_.Path()).size(), entries == 0 ? 1 : 2);
    }
};

int RunRoundTripTests(int argc, char** argv) {
    TestRoundTrip test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_roundtrip.moc"

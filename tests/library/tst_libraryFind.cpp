// The library layer's lookups through a FakeView: find, twins, the comparison of two entries, the
// set list, the accounting of an import and Select Duplicates.
#include "FieldMap.h"
#include "LibraryTestSupport.h"
#include "PatchComparison.h"
#include "PatchFinder.h"
#include "PatchName.h"
#include "SetList.h"
#include "TwinIndex.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <numeric>
#include <random>

using namespace quillbox;
using namespace quillbox::test;

namespace {
// Images that are alike in some way: "A" twice with other bytes, "B", "A" whose second name code
// is the blank 48 (shown like code 0: the same name, other bytes), and "C" ending in a blank (so the
// same entry cut short reads back padded as it).
struct Kin {
    QByteArray a = MakeImage(u"A"_s, 1), a2 = MakeImage(u"A"_s, 2), b = MakeImage(u"B"_s, 1), a48 = a,
               c = MakeImage(u"C"_s, 3);
    Kin() {
        WritePatchName(a48, {22, 48, 0, 0, 0, 0});
        c[17] = ' ';
    }
};
} // namespace

class TestLibraryFind : public QObject {
    Q_OBJECT

private:
    // Four entries with names, descriptions (tags among them) and decoded parameters to find by.
    static void FillFinder(PatchFinder& finder) {
        QByteArray store = MakeImage(u"CLEAN"_s, 1) + MakeImage(u"CRUNCH"_s, 2) + MakeImage(u"  JAZZ"_s, 3) +
                           MakeImage(u"SOLO"_s, 4);
        const int drive[4] = {0, 4, 12, 9}, cab[4] = {0, 1, 3, 0}, speaker[4] = {0, 1, 3, 4};
        for (qsizetype k = 0; k < 4; ++k) {
            PatchImage image = PatchImage::FromStore(store, k);
            WriteBoundField(image, BoundField::DriveType, drive[k]);
            WriteBoundField(image, BoundField::CabType, cab[k]);
            WriteBoundField(image, BoundField::CabSpeaker, speaker[k]);
            WriteBoundField(image, BoundField::DriveModule, k == 3 ? 1 : 0);
            store.replace(k * 18, 18, image.Bytes());
        }
        const QStringList descs{u"warm #gig"_s, u"summer f\u00EAte #gigs"_s, u"jazz a#gig"_s,
                                u"Warm lead\r\n#Gig"_s};
        finder.Rebuild(store, [descs](qsizetype k) { return descs[k]; });
    }

    // Two finders over the same 45,003 entries: one scans every text, the other searches through a
    // word index built over the first 40,000 that takes in the entries appended after it was built
    // (two runs of 2,500 merged into one, where "new" is too common to keep postings but not in
    // every entry, then three).
    struct IndexedPair {
        PatchFinder plain{false}, indexed{false};
    };
    static const IndexedPair& Indexed() {
        static const IndexedPair pair = [] {
            IndexedPair p;
            constexpr qsizetype base = 40000, run = 2500, count = base + 2 * run + 3;
            const QStringList odd{u"summer f\u00EAte\u00A0#gig"_s,
                                  u"caf\u00E9 a#gigs"_s,
                                  u"#gigs\r\nwarm"_s,
                                  u"\u00C9T\u00C9 #Gig-night"_s,
                                  u"#gig_x 770"_s,
                                  u"\u2003#gig\tlead"_s,
                                  u""_s};
            QByteArray store;
            QStringList descs;
            for (qsizetype k = 0; k < count; ++k) {
                store += MakeImage(u"P%1"_s.arg(k), int(k));
                if (k >= base + 2 * run)
                    descs += odd[k % odd.size()] + u" late"_s;
                else if (k >= base)
                    descs += u"%1 %2 #fresh"_s.arg(k % 10 == 0 ? u"old"_s : u"new"_s).arg(k);
                else if (k % 7 == 0)
                    descs += odd[k / 7 % odd.size()];
                else
                    descs += u"entry %1 %2"_s.arg(k).arg(k % 20 == 0 ? u"#gig"_s : u"#practice"_s);
            }
            const auto descriptionOf = [&descs](qsizetype k) {
                return descs[k];
            };
            p.plain.Rebuild(store, descriptionOf);
            p.indexed.Rebuild(store.left(base * PatchImageSize), descriptionOf);
            PatchFinder::WordIndex index = p.indexed.BuildWordIndex();
            p.indexed.Append(store.left((base + run) * PatchImageSize), descriptionOf);
            p.indexed.UseWordIndex(std::move(index));
            p.indexed.Append(store.left((base + 2 * run) * PatchImageSize), descriptionOf);
            p.indexed.Append(store, descriptionOf);
            return p;
        }();
        return pair;
    }

private Q_SLOTS:
    // Every word must occur, ignoring case, in the line, the description or a decoded parameter
    // text; a word never spans two parts (entry 3's name ends "JAZZ", its description starts
    // "jazz"); a tag only whole; positions are those of the whole list.
    void find_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QList<qsizetype>>("found");
        QTest::newRow("blank query: all") << u"  "_s << QList<qsizetype>{0, 1, 2, 3};
        QTest::newRow("name, any case") << u"jaZZ"_s << QList<qsizetype>{2};
        QTest::newRow("position") << u"04:"_s << QList<qsizetype>{3};
        QTest::newRow("description") << u"warm"_s << QList<qsizetype>{0, 3};
        QTest::newRow("every word") << u"warm LEAD"_s << QList<qsizetype>{3};
        QTest::newRow("drive type") << u"uk-crunch"_s << QList<qsizetype>{1};
        QTest::newRow("cab type and speaker") << u"stack 4*10"_s << QList<qsizetype>{2};
        QTest::newRow("cab speaker alone") << u"multiple"_s << QList<qsizetype>{3};
        QTest::newRow("module switches") << u"drive off"_s << QList<qsizetype>{0, 1, 2};
        QTest::newRow("words split at any blank") << u"clean\twarm"_s << QList<qsizetype>{0};
        QTest::newRow("not across parts") << u"jazzjazz"_s << QList<qsizetype>{};
        QTest::newRow("letters beyond ASCII") << u"F\u00CATE"_s << QList<qsizetype>{1};
        QTest::newRow("nothing") << u"zzz"_s << QList<qsizetype>{};
        QTest::newRow("tag: whole, any case, after a blank or a line break")
            << u"#GIG"_s << QList<qsizetype>{0, 3};
        QTest::newRow("tag with a word") << u"#gig lead"_s << QList<qsizetype>{3};
        QTest::newRow("longer tag") << u"#gigs"_s << QList<qsizetype>{1};
        QTest::newRow("a lone # is a plain word") << u"#"_s << QList<qsizetype>{0, 1, 2, 3};
    }

    void find() {
        QFETCH(QString, query);
        QFETCH(QList<qsizetype>, found);
        PatchFinder finder;
        FillFinder(finder);
        const std::vector<qsizetype> result = finder.Matching(query);
        QCOMPARE(QList<qsizetype>(result.begin(), result.end()), found);
    }

    // Typing on at the end of a query narrows what it found: looking only among those entries finds
    // what a whole search finds. Tags match whole, so a longer tag never narrows a shorter one.
    void findNarrowing_data() {
        QTest::addColumn<QString>("narrower");
        QTest::addColumn<QString>("wider");
        QTest::addColumn<bool>("narrows");
        QTest::newRow("a longer word") << u"warm l"_s << u"warm"_s << true;
        QTest::newRow("a word extended") << u"warm lead"_s << u"warm le"_s << true;
        QTest::newRow("a word inside") << u"jazz"_s << u"az"_s << true;
        QTest::newRow("decoded parameters") << u"stack 4*10 drive"_s << u"stack 4*1"_s << true;
        QTest::newRow("a word dropped") << u"warm"_s << u"warm lead"_s << false;
        QTest::newRow("from a blank query") << u"clean"_s << u" "_s << false;
        QTest::newRow("a tag extended") << u"#gig"_s << u"#gi"_s << false;
        QTest::newRow("a tag added") << u"warm #gig"_s << u"warm"_s << false;
    }
    void findNarrowing() {
        QFETCH(QString, narrower);
        QFETCH(QString, wider);
        QFETCH(bool, narrows);
        QCOMPARE(PatchFinder::Narrows(narrower, wider), narrows);
        PatchFinder finder;
        FillFinder(finder);
        // Among every entry, the answer is always the whole search's; among a wider query's, it is
        // when the query narrows it.
        std::vector<qsizetype> all(size_t(finder.Count()));
        std::iota(all.begin(), all.end(), 0);
        QCOMPARE(finder.MatchingAmong(narrower, all), finder.Matching(narrower));
        if (narrows)
            QCOMPARE(finder.MatchingAmong(narrower, finder.Matching(wider)), finder.Matching(narrower));
    }

    // A search through the word index finds what scanning every text finds: tags whole (after a
    // blank beyond ASCII too), letters beyond ASCII, parameter words, words across a gap, common
    // words, and the entries appended after the index was built.
    void findWithIndex_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("some"); // whether anything matches
        const auto row = [](const QString& query, bool some) {
            QTest::newRow(qPrintable(query)) << query << some;
        };
        for (const QString& query : {u"#gig"_s,       u"#GIG 12"_s,   u"#gigs"_s,
                                     u"#gig-night"_s, u"#gig_x"_s,    u"entry 770"_s,
                                     u"770 entry"_s,  u"f\u00CATE"_s, u"\u00E9t\u00E9 #gig-night"_s,
                                     u"a#gig"_s,      u"#fresh"_s,    u"new 4321"_s,
                                     u"new"_s,        u"late #gig"_s, u"p4500 #gig"_s,
                                     u"p4500"_s,      u"e"_s,         u"#"_s,
                                     u"drive 77"_s,   u"lead #gig"_s, u"#gigs warm"_s})
            row(query, true);
        for (const QString& query : {u"#gi"_s, u"#gig-"_s, u"jazzjazz"_s, u"p12new"_s, u"warmnew"_s,
                                     u"entry 45001"_s, u"zzz"_s, u"#practice late"_s})
            row(query, false);
    }
    void findWithIndex() {
        QFETCH(QString, query);
        QFETCH(bool, some);
        const IndexedPair& pair = Indexed();
        QVERIFY(pair.indexed.HasWordIndex());
        QCOMPARE(pair.indexed.Count(), pair.plain.Count());
        const std::vector<qsizetype> found = pair.indexed.Matching(query);
        QCOMPARE(found, pair.plain.Matching(query));
        QCOMPARE(!found.empty(), some);
    }

    // Descriptions taken in UTF-8 are found as the same descriptions taken as text: ASCII lowered
    // eight bytes at a time (the bytes beside 'A' and 'Z' stay), anything else folded as text. The
    // name ("P1", its third code `code` where one is given) is folded a byte a code where it can be.
    void findUtf8Texts_data() {
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("matches");
        QTest::newRow("eight capitals") << u"ABCDEFGH"_s << -1 << u"abcdefgh"_s << true;
        QTest::newRow("nine, the last alone") << u"ABCDEFGHI"_s << -1 << u"ghi"_s << true;
        QTest::newRow("beside A and Z, kept") << u"Z@[ late"_s << -1 << u"z@["_s << true;
        QTest::newRow("beside A and Z, not lowered") << u"Z@[ late"_s << -1 << u"`"_s << false;
        QTest::newRow("beside Z, not lowered") << u"Z@[ late"_s << -1 << u"{"_s << false;
        QTest::newRow("not ASCII after eight") << u"ABCDEFGHÉTÉ"_s << -1 << u"ghété"_s << true;
        QTest::newRow("not ASCII first") << u"ÜBER warm"_s << -1 << u"über"_s << true;
        QTest::newRow("empty") << QString() << -1 << u"xyzzy"_s << false;
        QTest::newRow("name code beyond the alphabet") << u"warm"_s << 50 << u"p1(50)"_s << true;
    }
    void findUtf8Texts() {
        QFETCH(QString, description);
        QFETCH(int, code);
        QFETCH(QString, query);
        QFETCH(bool, matches);
        QByteArray store = MakeStore(3);
        if (code >= 0) {
            QByteArray image = Entry(store, 1);
            WritePatchName(image, {PatchCodeFromChar(u'P'), PatchCodeFromChar(u'1'), code, 0, 0, 0});
            store.replace(PatchImageSize, PatchImageSize, image);
        }
        const auto textOf = [&](qsizetype k) {
            return k == 1 ? description : u"other"_s;
        };
        PatchFinder fromText(false), fromBytes(false);
        fromText.Append(store, textOf);
        QList<QByteArray> utf8;
        for (qsizetype k = 0; k < 3; ++k)
            utf8.append(textOf(k).toUtf8());
        fromBytes.AppendUtf8(store, [&](qsizetype k) { return QByteArrayView(utf8[k]); });
        const std::vector<qsizetype> found = fromBytes.Matching(query);
        QCOMPARE(found, fromText.Matching(query));
        QCOMPARE(std::find(found.begin(), found.end(), 1) != found.end(), matches);
    }

    // An index built before the texts were taken anew is refused; taking them anew drops the one in use.
    void findIndexStale() {
        PatchFinder finder;
        FillFinder(finder);
        PatchFinder::WordIndex index = finder.BuildWordIndex();
        QVERIFY(finder.UseWordIndex(finder.BuildWordIndex()));
        FillFinder(finder);
        QVERIFY(!finder.HasWordIndex());
        QVERIFY(!finder.UseWordIndex(std::move(index)));
        QVERIFY(!finder.HasWordIndex());
    }

    // Taking some entries anew after a change that kept their number finds what taking all of them
    // anew finds; entries outside the range keep their texts.
    void findUpdate_data() {
        QTest::addColumn<QString>("change"); // "swap", "rename", "describe"
        QTest::addColumn<qsizetype>("first");
        QTest::addColumn<qsizetype>("last");
        QTest::newRow("two swapped") << u"swap"_s << qsizetype(1) << qsizetype(2);
        QTest::newRow("first renamed") << u"rename"_s << qsizetype(0) << qsizetype(0);
        QTest::newRow("middle described") << u"describe"_s << qsizetype(2) << qsizetype(2);
    }
    void findUpdate() {
        QFETCH(QString, change);
        QFETCH(qsizetype, first);
        QFETCH(qsizetype, last);
        QByteArray store = MakeStore(5);
        QStringList descs = Descs(5, u"d"_s);
        const auto descriptionOf = [&](qsizetype k) {
            return descs.value(k);
        };
        PatchFinder updated;
        updated.Rebuild(store, descriptionOf);
        if (change == u"swap"_s)
            store = Entry(store, 0) + Entry(store, 2) + Entry(store, 1) + store.mid(54);
        else if (change == u"rename"_s)
            store.replace(0, 18, MakeImage(u"JAZZ"_s, 0));
        else
            descs[first] = u"a longer description: warm jazz"_s;
        updated.Update(store, descriptionOf, first, last);
        PatchFinder fresh;
        fresh.Rebuild(store, descriptionOf);
        for (const QString& query : u"p1|p2|02:  p|jazz|d5|warm|drive on|03:  p1"_s.split(u'|'))
            QCOMPARE(updated.Matching(query), fresh.Matching(query));
    }

    // Marks of every line of both lists; "A" with blank code 48 instead of 0 is the same name.
    void twins_data() {
        QTest::addColumn<QByteArray>("library");
        QTest::addColumn<QByteArray>("patches");
        QTest::addColumn<QList<unsigned>>("libMarks");
        QTest::addColumn<QList<unsigned>>("patchMarks");
        QTest::addColumn<QString>("tipOfFirst");
        const Kin k;
        const QByteArray &a = k.a, &b = k.b, &a2 = k.a2, &a48 = k.a48;
        const unsigned I = TwinIdentical, S = TwinSameSound, N = TwinSameName;
        QTest::newRow("empty lists") << QByteArray() << QByteArray() << QList<unsigned>{} << QList<unsigned>{}
                                     << QString();
        QTest::newRow("no twins") << a + MakeImage(u"C"_s, 3) << MakeImage(u"B"_s, 4) << QList<unsigned>{0, 0}
                                  << QList<unsigned>{0} << QString();
        QTest::newRow("identical") << a + b + a << a + a2 << QList<unsigned>{I | S, S, I | S}
                                   << QList<unsigned>{I | S, N}
                                   << u"Identical to 03\nSame sound, other name: 02"_s;
        QTest::newRow("blank codes: same name, not identical")
            << a + a48 + a2 << a48 << QList<unsigned>{S | N, S | N, N} << QList<unsigned>{I | S | N}
            << u"Same sound, other name: 02\nSame name, other sound: 03"_s;
        QTest::newRow("short last entries compare padded")
            << a + b.left(17) << (b.left(17) + QByteArray(1, ' ')) + b.left(16) << QList<unsigned>{0, 0}
            << QList<unsigned>{I, N} << QString();
    }

    void twins() {
        QFETCH(QByteArray, library);
        QFETCH(QByteArray, patches);
        QFETCH(QList<unsigned>, libMarks);
        QFETCH(QList<unsigned>, patchMarks);
        QFETCH(QString, tipOfFirst);
        TwinIndex index;
        index.Update(MakeStore(5)); // counted first, so the update below counts again what changed
        index.Update(library);
        QList<unsigned> lib, pat;
        for (qsizetype k = 0; k < EntryCount(library); ++k)
            lib.append(index.LibraryKinds(k));
        for (qsizetype p = 0; p < EntryCount(patches); ++p)
            pat.append(index.PatchKinds(patches, p));
        QCOMPARE(lib, libMarks);
        QCOMPARE(pat, patchMarks);
        QCOMPARE(index.ToolTip(library.left(18), 0), tipOfFirst);
    }

    // Counting only what changed gives the marks of counting anew, over a run of random edits.
    void twinsFollowEdits() {
        std::mt19937 random(7);
        QByteArray library = MakeStore(40);
        TwinIndex kept;
        for (int step = 0; step < 300; ++step) {
            const qsizetype count = EntryCount(library);
            const qsizetype at = count ? qsizetype(random() % quint32(count)) : 0;
            const QByteArray image = MakeImage(u"P%1"_s.arg(random() % 8), int(random() % 3));
            switch (random() % 3) {
            case 0:
                library.insert(at * 18, image);
                break;
            case 1:
                library.remove(at * 18, 18);
                break;
            default:
                library.replace(at * 18, std::min<qsizetype>(18, library.size() - at * 18), image);
            }
            kept.Update(library);
            TwinIndex fresh;
            fresh.Update(library);
            for (qsizetype k = 0; k < EntryCount(library); ++k)
                QCOMPARE(kept.LibraryKinds(k), fresh.LibraryKinds(k));
        }
    }

    // Each of the 144 bits flipped alone is the one difference found, placed in its field, and
    // marks the matching parameter (and only it) as differing.
    void compareEveryBit() {
        // Field masks per byte, independent of the code under test: name bits, then the bound ones.
        const QMap<ImageField, QList<int>> masks{{ImageField::DriveType, {0x1F, 0, 0}},
                                                 {ImageField::CabType, {0, 0, 0x0E}},
                                                 {ImageField::CabSpeaker, {0, 0, 0x70}}};
        const QByteArray store = MakeImage(u"CLEAN"_s, 5);
        for (int byte1 = 1; byte1 <= 18; ++byte1) {
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray other = store;
                other[byte1 - 1] = char(other[byte1 - 1] ^ (1 << bit));
                const PatchComparison c = ComparePatches(store, 0, other, 0);
                QCOMPARE(c.differingBits.size(), size_t(1));
                QCOMPARE(c.differingBits[0].byte1, byte1);
                QCOMPARE(c.differingBits[0].bit, bit);
                ImageField expected = ImageField::Carried;
                for (auto it = masks.begin(); it != masks.end(); ++it)
                    if (byte1 <= 3 && (it.value()[byte1 - 1] >> bit & 1))
                        expected = it.key();
                const int nameBit = (byte1 - 12) * 8 + bit; // bit of the 48-bit number from byte 12
                if (nameBit >= 5 && nameBit <= 40)
                    expected = ImageField::Name;
                if (byte1 == 17 && bit == 1)
                    expected = ImageField::DriveModule;
                if (byte1 == 17 && bit == 2)
                    expected = ImageField::CabModule;
                QCOMPARE(c.differingBits[0].field, expected);
                for (int p = 0; p < 5; ++p)
                    QCOMPARE(c.parameterDiffers[size_t(p)], int(expected) == p);
                QCOMPARE(c.leftName == c.rightName, expected != ImageField::Name);
            }
        }
        QByteArray blankEnd = store; // a short entry compares as the library stores it: padded
        blankEnd[17] = ' ';
        QVERIFY(ComparePatches(blankEnd, 0, blankEnd.left(17), 0).Identical());
    }

    // The set list's CSV read back by Python's csv module gives every field exactly, descriptions
    // with quotes, commas, line breaks, blanks and letters beyond ASCII included.
    void setListCsvReadsBack() {
        const QByteArray store =
            MakeImage(u" JAZZ"_s, 1) + MakeImage(u"A'B"_s, 2) + MakeImage(u"X"_s, 3).left(17);
        const QStringList descs{QString(), u"Say \"hi\", then\r\nplay"_s, u"  caf\u00E9 \u266B  "_s,
                                QString()};
        const std::vector<SetListRow> rows = SetListRows(store, descs);
        const QByteArray csv = SetListCsv(rows);
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        QProcess python;
        python.start(u"python3"_s, {u"-c"_s, u"import csv, json, sys\n"
                                             "text = sys.stdin.buffer.read().decode('utf-8-sig')\n"
                                             "print(json.dumps(list(csv.reader(text.splitlines(True)))))"_s});
        QVERIFY2(python.waitForStarted(), "python3 is needed to read the CSV back");
        python.write(csv);
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished());
        const QJsonArray read = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
        QCOMPARE(read.size(), 4);
        QCOMPARE(read[0].toVariant().toStringList(), SetListHeader());
        for (qsizetype k = 0; k < 3; ++k) {
            const SetListRow& r = rows[size_t(k)];
            QCOMPARE(read[k + 1].toVariant().toStringList(),
                     (QStringList{r.position, r.name, r.driveType, r.cabType, r.cabSpeaker, r.drive, r.cab,
                                  r.description}));
        }
        QCOMPARE(rows[1].name, u"A'B"_s);
        QCOMPARE(rows[1].description, descs[2]);
        QCOMPARE(rows[0].position, u"01"_s);
    }

    // A cell a spreadsheet would run as a formula (first character past leading blanks = + - @, tab
    // or carriage return) gets a leading apostrophe in the CSV, names and descriptions alike; the
    // cell as written, CSV quoting included.
    void setListCsvNeutralises_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QByteArray>("nameCell");
        QTest::addColumn<QByteArray>("descriptionCell");
        const auto row = [](const char* tag, const QString& name, const QString& description,
                            const char* nameCell, const char* descriptionCell) {
            QTest::newRow(tag) << name << description << QByteArray(nameCell) << QByteArray(descriptionCell);
        };
        row("HYPERLINK", u"PLAIN"_s, u"=HYPERLINK(\"http://x.example\",\"y\")"_s, "PLAIN",
            "\"'=HYPERLINK(\"\"http://x.example\"\",\"\"y\"\")\"");
        row("plus", u"PLAIN"_s, u"+1"_s, "PLAIN", "'+1");
        row("minus", u"PLAIN"_s, u"-3 dB"_s, "PLAIN", "'-3 dB");
        row("at", u"PLAIN"_s, u"@SUM(A1)"_s, "PLAIN", "'@SUM(A1)");
        row("tab", u"PLAIN"_s, u"\t=1"_s, "PLAIN", "'\t=1");
        row("carriage return", u"PLAIN"_s, u"\r=1"_s, "PLAIN", "\"'\r=1\"");
        row("blanks, then =", u"PLAIN"_s, u"  =1"_s, "PLAIN", "'  =1");
        row("= inside", u"PLAIN"_s, u"a=b, -c"_s, "PLAIN", "\"a=b, -c\"");
        row("apostrophe first", u"PLAIN"_s, u"'=1"_s, "PLAIN", "'=1");
        row("empty", u"PLAIN"_s, QString(), "PLAIN", "");
        row("name =", u"=A"_s, QString(), "'=A", "");
        row("name -", u"-LEAD"_s, QString(), "'-LEAD", "");
        row("name +", u"+1"_s, QString(), "'+1", "");
        row("name, blank then @", u" @X"_s, QString(), "'@X", ""); // names are trimmed
    }
    void setListCsvNeutralises() {
        QFETCH(QString, name);
        QFETCH(QString, description);
        QFETCH(QByteArray, nameCell);
        QFETCH(QByteArray, descriptionCell);
        const std::vector<SetListRow> rows = SetListRows(MakeImage(name, 1), {QString(), description});
        const QByteArray csv = SetListCsv(rows);
        QVERIFY2(csv.contains(QByteArray("\r\n01," + nameCell + ',')), csv.constData());
        QVERIFY2(csv.endsWith(QByteArray(',' + descriptionCell + "\r\n")), csv.constData());
    }

    // An import's status line counts its patches by what the library holds; Append Different then
    // appends, in order and with its description, each patch equal to no library entry and to no
    // patch appended before it (a name alone makes no equal), and says how many it left out and why.
    void importAccounting_data() {
        QTest::addColumn<QByteArray>("library");
        QTest::addColumn<QByteArray>("patches");
        QTest::addColumn<QString>("accounting");
        QTest::addColumn<QList<int>>("appended");
        QTest::addColumn<QString>("status");
        const Kin k;
        QTest::newRow("each kind")
            << k.a + k.c << k.a + k.a2 + k.b + k.a48 + k.b + k.c.left(17)
            << u": 2 identical to library patches, 2 same name with other settings, 2 new."_s
            << QList<int>{1, 2, 3}
            << u"Appended 3 of 6 patches; skipped 3: 2 identical to library patches, 1 "
               u"identical to earlier patches of the list"_s;
        QTest::newRow("empty library")
            << QByteArray() << k.a + k.a
            << u": 0 identical to library patches, 0 same name with other settings, 2 new."_s << QList<int>{0}
            << u"Appended 1 of 2 patches; skipped 1: 1 identical to earlier patches of the "
               u"list"_s;
        QTest::newRow("all known")
            << k.a + k.b << k.b + k.a
            << u": 2 identical to library patches, 0 same name with other settings, 0 new."_s << QList<int>{}
            << u"Appended none of 2 patches: 2 identical to library patches"_s;
    }
    void importAccounting() {
        QFETCH(QByteArray, library);
        QFETCH(QByteArray, patches);
        QFETCH(QString, accounting);
        QFETCH(QList<int>, appended);
        QFETCH(QString, status);
        Fixture f;
        f.LoadLibrary(u"lib.pslib"_s, library);
        f.ImportPatches(u"in.pch"_s, patches, Descs(EntryCount(patches), u"p"_s));
        QCOMPARE(f.view.statuses.last(),
                 u"Imported %1 patches from \u2026/in.pch"_s.arg(EntryCount(patches)) + accounting);
        f.Run(u"appendDiff"_s);
        QCOMPARE(f.view.statuses.last(), status);
        QByteArray images = library;
        QStringList descs;
        for (const int p : appended)
            images += Entry(patches, p), descs += u"p%1"_s.arg(p + 1);
        QCOMPARE(f.S().LibraryData, images);
        QCOMPARE(f.S().DescArray.mid(EntryCount(library) + 1), descs);
    }

    // Select Duplicates selects each entry whose bytes equal an earlier entry's, and changes nothing.
    void selectDuplicates_data() {
        QTest::addColumn<QByteArray>("library");
        QTest::addColumn<QList<qsizetype>>("selected");
        const Kin k;
        QTest::newRow("empty") << QByteArray() << QList<qsizetype>{};
        QTest::newRow("twins that are not identical") << k.a + k.b + k.a48 + k.a2 << QList<qsizetype>{};
        QTest::newRow("repeats") << k.a + k.b + k.a + k.a + k.b << QList<qsizetype>{2, 3, 4};
        QTest::newRow("short last entry") << k.c + k.b + k.c.left(17) << QList<qsizetype>{2};
    }
    void selectDuplicates() {
        QFETCH(QByteArray, library);
        QFETCH(QList<qsizetype>, selected);
        Fixture f;
        f.LoadLibrary(u"lib.pslib"_s, library);
        f.Run(u"dups"_s);
        QCOMPARE(f.Ctl().Selection(ListId::Library), selected);
        QCOMPARE(f.S().LibSelection, selected.value(0, -1));
        QCOMPARE(f.S().LibraryData, library);
        QVERIFY(!f.Ctl().History().CanUndo());
        if (selected.isEmpty())
            return;
        // Delete removes every duplicate in one step.
        QByteArray without = library;
        for (auto k = selected.rbegin(); k != selected.rend(); ++k)
            without.remove(*k * 18, 18);
        f.Run(u"del"_s);
        QCOMPARE(f.S().LibraryData, without);
        f.Run(u"undo"_s);
        QCOMPARE(f.S().LibraryData, library);
    }

    // What "Compare…" puts side by side: two selected lines of one list, else a patch beside a
    // library entry. Positions as "P1" (patches list) or "L2" (library), counted from 0.
    void comparePair_data() {
        QTest::addColumn<QList<qsizetype>>("lib");
        QTest::addColumn<QList<qsizetype>>("patches");
        QTest::addColumn<bool>("libraryLast"); // the library list was used last
        QTest::addColumn<QString>("pair");     // empty: nothing to compare
        using L = QList<qsizetype>;
        QTest::newRow("one in each list") << L{2} << L{1} << true << u"P1 L2"_s;
        QTest::newRow("two library lines") << L{0, 3} << L{1} << true << u"L0 L3"_s;
        QTest::newRow("two patches, used last") << L{0, 3} << L{0, 2} << false << u"P0 P2"_s;
        QTest::newRow("three library lines") << L{0, 1, 3} << L{1} << true << u"P1 L3"_s;
        QTest::newRow("library only") << L{2} << L{} << true << QString();
    }
    void comparePair() {
        QFETCH(QList<qsizetype>, lib);
        QFETCH(QList<qsizetype>, patches);
        QFETCH(bool, libraryLast);
        QFETCH(QString, pair);
        Fixture f;
        f.LoadLibrary(u"lib.pslib"_s, MakeStore(4));
        f.ImportPatches(u"in.pch"_s, MakeStore(3, 50));
        const auto select = [&](ListId list, const QList<qsizetype>& lines) {
            if (lines.isEmpty())
                return;
            list == ListId::Library ? f.Ctl().LibrarySelected(lines, lines.last())
                                    : f.Ctl().PatchesSelected(lines, lines.last());
        };
        select(libraryLast ? ListId::Patches : ListId::Library, libraryLast ? patches : lib);
        select(libraryLast ? ListId::Library : ListId::Patches, libraryLast ? lib : patches);
        const auto chosen = f.Ctl().SelectedPairToCompare();
        const auto name = [](const LibraryController::EntryRef& e) -> QString {
            return (e.list == ListId::Library ? u"L"_s : u"P"_s) + QString::number(e.index);
        };
        QCOMPARE(chosen ? name(chosen->first) + u' ' + name(chosen->second) : QString(), pair);
    }

    // "Export Set List…" writes CSV or, for a name ending in ".pdf", has the window write a PDF; a name
    // without either takes the chosen filter's; the third filter (large print) writes a large-print PDF.
    void exportSetList_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written"); // empty: the PDF goes to the window
        QTest::newRow("csv") << u"set.csv"_s << 0 << u"set.csv"_s;
        QTest::newRow("no extension") << u"set"_s << 0 << u"set.csv"_s;
        QTest::newRow("pdf") << u"set.PDF"_s << 1 << QString();
        QTest::newRow("pdf, no extension") << u"set"_s << 1 << QString();
        QTest::newRow("pdf name, csv filter") << u"set.pdf"_s << 0 << QString();
        QTest::newRow("large print") << u"set.pdf"_s << 2 << QString();
        QTest::newRow("large print, no extension") << u"set"_s << 2 << QString();
        QTest::newRow("csv under large print") << u"set.csv"_s << 2 << u"set.csv"_s;
        QTest::newRow("missing folder") << u"gone/set.csv"_s << 0 << u"gone/set.csv"_s;
    }
    void exportSetList() {
        QFETCH(QString, chosen);
        QFETCH(int, filter);
        QFETCH(QString, written);
        Fixture f;
        f.LoadLibrary(u"live.pslib"_s, MakeStore(3), {u"one"_s, u"two, \"2\""_s});
        f.view.paths.push_back(f.Path(chosen));
        f.view.chosenFilter = filter;
        f.Ctl().ExportSetList();
        if (written.startsWith(u"gone/"_s)) { // told, and nothing written
            QCOMPARE(f.view.messages, QStringList{u"Error: Cannot open the file: "_s + f.Path(written)});
            QVERIFY(!QFileInfo::exists(f.Path(u"gone"_s)));
            return;
        }
        QVERIFY(f.view.messages.isEmpty());
        if (written.isEmpty()) {
            QCOMPARE(f.view.pdfTitles, QStringList{filter == 2 ? u"live.pslib (large)"_s : u"live.pslib"_s});
        } else {
            QVERIFY(f.view.pdfTitles.isEmpty());
            QCOMPARE(ReadBytes(f.Path(written)), SetListCsv(SetListRows(MakeStore(3), f.S().DescArray)));
        }
        QCOMPARE(f.view.statuses.last(), u"Exported the set list of 3 patches to \u2026/"_s +
                                             (!written.isEmpty()      ? written
                                              : chosen.contains(u'.') ? chosen
                                                                      : chosen + u".pdf"_s));
    }
};

std::unique_ptr<QObject> NewLibraryFindTests() {
    return std::make_unique<TestLibraryFind>();
}

#include "tst_libraryFind.moc"

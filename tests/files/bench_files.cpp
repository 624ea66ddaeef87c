// Timings of the side-file and library codecs at 100,000 entries.
#include "DescriptionFile.h"
#include "LibraryFile.h"
#include "ProfileFile.h"
#include "SafeSave.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <random>

using namespace quillbox;

namespace {
template <typename F> void Time(const char* what, F&& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    std::printf("%-58s %8.1f ms\n", what, double(timer.nsecsElapsed()) / 1e6);
}
} // namespace

int main() {
    constexpr int Entries = 100000;
    std::mt19937 random(1);
    QByteArray store(qsizetype(Entries) * 18, Qt::Uninitialized);
    for (char& b : store)
        b = char(random() & 0xFF);
    QStringList descriptions{QString()};
    for (int i = 1; i <= Entries; ++i)
        descriptions.append(QStringLiteral(u"Patch %1 for the verse\r\nwith delay, café €").arg(i));

    QByteArray side;
    Time("BuildSideFile, 100,000 entries, new file",
         [&] { side = *BuildSideFile(std::nullopt, descriptions, Entries); });
    descriptions[500] = QStringLiteral("changed");
    QByteArray again;
    Time("BuildSideFile, 100,000 entries over the old file",
         [&] { again = *BuildSideFile(side, descriptions, Entries); });
    descriptions.append(QStringLiteral("one more"));
    Time("BuildSideFile, 100,001 entries over 100,000 (one new key)",
         [&] { again = *BuildSideFile(side, descriptions, Entries + 1); });
    QString last;
    Time("DescriptionReader, parse + 100,000 lookups", [&] {
        const DescriptionReader reader = DescriptionReader::FromBytes(again);
        for (int i = 1; i <= Entries; ++i)
            last = reader.Description(i);
    });
    QByteArray content;
    Time("EncodeLibrary + DecodeLibrary, 100,000 entries",
         [&] { content = DecodeLibrary(EncodeLibrary(store)); });
    QTemporaryDir dir;
    Time("SafeSave of both files (write, fsync, rename)", [&] {
        SafeSave save;
        save.Add(dir.filePath(QStringLiteral("b.pslib.txt")), again);
        save.Add(dir.filePath(QStringLiteral("b.pslib")), EncodeLibrary(store));
        save.Commit();
    });
    std::printf("side file %lld bytes; checks: %d %d\n", static_cast<long long>(again.size()),
                int(content == store), int(last.endsWith(QStringLiteral(u"€"))));
    return 0;
}

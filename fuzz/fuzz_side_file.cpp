// The description side file: read any existing file, write descriptions over it, read them back.
#include "DescriptionFile.h"
#include "FuzzSupport.h"
#include "ProfileFile.h"

#include <QStringList>

using namespace quillbox;
using namespace quillbox::fuzz;

namespace {

// What a description reads back as: every line break (CR LF, lone CR, lone LF) and every "&*&"
// comes back as CR LF; everything else exactly.
QString ReadBackAs(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("&*&"));
    text.replace(QLatin1Char('\r'), QStringLiteral("&*&"));
    text.replace(QLatin1Char('\n'), QStringLiteral("&*&"));
    text.replace(QStringLiteral("&*&"), QStringLiteral("\r\n"));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input input(data, size);
    const int count = input.Byte() % 12;
    const bool fileExists = input.Byte() % 4 != 0;
    QStringList descriptions{QString()};
    for (int i = 1; i <= count; ++i)
        descriptions.append(QString::fromUtf8(input.Piece(300)));
    const QByteArray existing = input.Rest();

    // Reading never fails, whatever the file holds, and reads what the general profile reader reads.
    const DescriptionReader before = DescriptionReader::FromBytes(existing);
    const ProfileFile parsed = ProfileFile::FromBytes(existing);
    for (qsizetype i = -1; i <= count + 2; ++i) {
        FUZZ_CHECK(before.Description(i) ==
                   DecodeLineBreaks(parsed.Value(DescriptionSection, QString::number(i), QString())));
    }

    const std::optional<QByteArray> side =
        BuildSideFile(fileExists ? std::optional<QByteArray>(existing) : std::nullopt, descriptions, count);
    if (count == 0) {
        // Nothing to write: an existing file stays exactly as it is, a missing one is not made.
        FUZZ_CHECK(fileExists ? side == existing : !side.has_value());
        return 0;
    }
    FUZZ_CHECK(side.has_value());
    // The one-pass writer gives exactly what the general profile writer gives.
    ProfileFile reference = ProfileFile::FromBytes(fileExists ? existing : QByteArray());
    QList<std::pair<QString, QString>> entries;
    for (qsizetype i = 1; i <= count; ++i)
        entries.append({QString::number(i), EncodeLineBreaks(descriptions.at(i))});
    reference.SetValues(DescriptionSection, entries);
    FUZZ_CHECK(*side == reference.ToBytes());
    const DescriptionReader after = DescriptionReader::FromBytes(*side);
    for (qsizetype i = 1; i <= count; ++i)
        FUZZ_CHECK(after.Description(i) == ReadBackAs(descriptions.at(i)));
    // Written again with the same descriptions, the file does not change.
    FUZZ_CHECK(BuildSideFile(side, descriptions, count) == side);
    return 0;
}

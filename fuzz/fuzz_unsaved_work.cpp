// The recovery file of unsaved work: any bytes are read without a crash, whatever is taken is
// written so that it reads back the same; any work written is read back exactly.
#include "FuzzSupport.h"
#include "UnsavedWork.h"

using namespace quillbox;
using namespace quillbox::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = Bytes(data, size);
    QString problem;
    if (const std::optional<UnsavedWork> read = UnsavedWorkFiles::Decode(bytes, &problem))
        FUZZ_CHECK(UnsavedWorkFiles::Decode(UnsavedWorkFiles::Encode(*read)) == read);
    else
        FUZZ_CHECK(!problem.isEmpty());

    // The same input as a work of its own: raw library bytes and descriptions of any UTF-16 units.
    Input input(data, size);
    UnsavedWork work;
    work.libPath = QString::fromUtf8(input.Piece(80));
    if (work.libPath.isEmpty())
        work.libPath = QStringLiteral("/a.pslib");
    work.time = QDateTime::fromMSecsSinceEpoch(qint64(input.Byte()) << 32 | input.Byte(), Qt::UTC);
    const int count = input.Byte() % 8;
    for (int i = 0; i < count; ++i) {
        const QByteArray units = input.Piece(64);
        work.descriptions.append(
            QString(reinterpret_cast<const QChar*>(units.constData()), units.size() / 2));
    }
    work.library = input.Rest();
    const std::optional<UnsavedWork> back = UnsavedWorkFiles::Decode(UnsavedWorkFiles::Encode(work));
    FUZZ_CHECK(back.has_value() && *back == work);
    return 0;
}

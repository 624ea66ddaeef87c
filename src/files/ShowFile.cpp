#include "ShowFile.h"

#include "FileAccess.h"
#include "LibraryPairFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace quillbox {

namespace {

const QString FormatName = QStringLiteral("quillbox-show");
constexpr qsizetype ImageSize = 18;

[[noreturn]] void Refuse(const QString& reason) {
    throw FileError{NotAShowNumber, QStringLiteral("ShowFile"), QStringLiteral("Not a Quillbox show (") + reason + QLatin1Char(')')};
}

// Reads a show's members one by one, saying where a fault is ("song 3, cue 2: …").
class Reader {
public:
    QString Text(const QJsonObject& object, const QString& key, qsizetype limit, const QString& where) const {
        const QJsonValue value = object.value(key);
        if (value.isUndefined() || value.isNull())
            return {};
        if (!value.isString())
            Refuse(Where(where) + key + QStringLiteral(" is not text"));
        QString text = value.toString();
        if (text.size() > limit)
            Refuse(Where(where) + key + QStringLiteral(" is longer than ") + QString::number(limit) +
                   QStringLiteral(" characters"));
        return text;
    }

    QByteArray Image(const QJsonObject& object, const QString& key, bool required, const QString& where) const {
        const QJsonValue value = object.value(key);
        if (!required && (value.isUndefined() || value.isNull()))
            return {};
        const QString text = value.toString();
        bool hex = value.isString() && text.size() == 2 * ImageSize;
        for (const QChar c : text)
            hex = hex && ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                          (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')));
        if (!hex)
            Refuse(Where(where) + key + QStringLiteral(" is not a patch (36 hexadecimal digits)"));
        return QByteArray::fromHex(text.toLatin1());
    }

    QJsonArray Array(const QJsonObject& object, const QString& key, const QString& where) const {
        const QJsonValue value = object.value(key);
        if (value.isUndefined() || value.isNull())
            return {};
        if (!value.isArray())
            Refuse(Where(where) + key + QStringLiteral(" is not a list"));
        return value.toArray();
    }

    static QJsonObject Object(const QJsonValue& value, const QString& where) {
        if (!value.isObject())
            Refuse(where + QStringLiteral(" is not an object"));
        return value.toObject();
    }

    static QString Where(const QString& where) { return where.isEmpty() ? QString() : where + QStringLiteral(": "); }
};

ShowCue ReadCue(const Reader& r, const QJsonObject& object, const QString& where) {
    ShowCue cue;
    cue.label = r.Text(object, QStringLiteral("label"), ShowFile::MaxTextLength, where);
    cue.image = r.Image(object, QStringLiteral("patch"), true, where);
    cue.description = r.Text(object, QStringLiteral("description"), ShowFile::MaxTextLength, where);
    const QJsonValue source = object.value(QStringLiteral("source"));
    if (source.isUndefined() || source.isNull())
        return cue;
    const QString at = where + QStringLiteral(", source");
    const QJsonObject s = Reader::Object(source, at);
    cue.source.path = r.Text(s, QStringLiteral("path"), ShowFile::MaxPathLength, at);
    const QJsonValue position = s.value(QStringLiteral("position"));
    if (!position.isUndefined()) {
        const double p = position.toDouble(-1);
        if (!position.isDouble() || p < 0 || p > double(1 << 30) || p != double(qint64(p)))
            Refuse(at + QStringLiteral(": position is not a whole number from 0"));
        cue.source.position = qsizetype(p);
    }
    cue.source.image = r.Image(s, QStringLiteral("patch"), false, at);
    return cue;
}

QJsonObject CueObject(const ShowCue& cue) {
    QJsonObject object{{QStringLiteral("label"), cue.label},
                       {QStringLiteral("patch"), QString::fromLatin1(cue.image.toHex())},
                       {QStringLiteral("description"), cue.description}};
    if (!cue.source.path.isEmpty() || cue.source.position != 0 || !cue.source.image.isEmpty())
        object.insert(QStringLiteral("source"),
                      QJsonObject{{QStringLiteral("path"), cue.source.path},
                                  {QStringLiteral("position"), double(cue.source.position)},
                                  {QStringLiteral("patch"), QString::fromLatin1(cue.source.image.toHex())}});
    return object;
}

} // namespace

QByteArray ShowFile::Encode(const ShowRecord& show) {
    QJsonArray songs;
    for (const ShowSong& song : show.songs) {
        QJsonArray cues;
        for (const ShowCue& cue : song.cues)
            cues.append(CueObject(cue));
        songs.append(QJsonObject{{QStringLiteral("title"), song.title},
                                 {QStringLiteral("notes"), song.notes},
                                 {QStringLiteral("cues"), cues}});
    }
    const QJsonObject root{{QStringLiteral("format"), FormatName},
                           {QStringLiteral("version"), Version},
                           {QStringLiteral("title"), show.title},
                           {QStringLiteral("songs"), songs}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

ShowRecord ShowFile::Decode(const QByteArray& bytes) {
    if (bytes.size() > MaxBytes)
        Refuse(QStringLiteral("larger than ") + QString::number(MaxBytes / (1024 * 1024)) + QStringLiteral(" MiB"));
    if (bytes.trimmed().isEmpty())
        Refuse(QStringLiteral("the file is empty"));
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        Refuse(QStringLiteral("damaged at byte ") + QString::number(error.offset) + QStringLiteral(": ") +
               error.errorString());
    if (!document.isObject() || document.object().value(QStringLiteral("format")).toString() != FormatName)
        Refuse(QStringLiteral("no show format mark"));
    const QJsonObject root = document.object();
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toDouble() < 1 || version.toDouble() != double(version.toInt()))
        Refuse(QStringLiteral("no valid version"));
    if (version.toInt() > Version)
        Refuse(QStringLiteral("written by a later version of Quillbox (format ") + QString::number(version.toInt()) +
               QLatin1Char(')'));
    const Reader r;
    ShowRecord show;
    show.title = r.Text(root, QStringLiteral("title"), MaxTextLength, {});
    const QJsonArray songs = r.Array(root, QStringLiteral("songs"), {});
    if (songs.size() > MaxSongs)
        Refuse(QStringLiteral("more than ") + QString::number(MaxSongs) + QStringLiteral(" songs"));
    qsizetype cues = 0;
    show.songs.reserve(songs.size());
    for (qsizetype s = 0; s < songs.size(); ++s) {
        const QString where = QStringLiteral("song ") + QString::number(s + 1);
        const QJsonObject object = Reader::Object(songs.at(s), where);
        ShowSong song;
        song.title = r.Text(object, QStringLiteral("title"), MaxTextLength, where);
        song.notes = r.Text(object, QStringLiteral("notes"), MaxNotesLength, where);
        const QJsonArray list = r.Array(object, QStringLiteral("cues"), where);
        cues += list.size();
        if (cues > MaxCues)
            Refuse(QStringLiteral("more than ") + QString::number(MaxCues) + QStringLiteral(" cues"));
        song.cues.reserve(list.size());
        for (qsizetype c = 0; c < list.size(); ++c) {
            const QString at = where + QStringLiteral(", cue ") + QString::number(c + 1);
            song.cues.append(ReadCue(r, Reader::Object(list.at(c), at), at));
        }
        show.songs.append(std::move(song));
    }
    return show;
}

ShowRecord ShowFile::Read(const QString& path) {
    // Refused before a byte is read: a show is small, and a huge file is not one.
    const QFileInfo info(path);
    if (info.exists() && info.isFile() && info.size() > MaxBytes)
        throw FileError{NotAShowNumber, QStringLiteral("ShowFile"),
                        QStringLiteral("Not a Quillbox show (larger than ") + QString::number(MaxBytes / (1024 * 1024)) +
                            QStringLiteral(" MiB): ") + path};
    const QByteArray bytes = ReadFileAsString(path);
    try {
        return Decode(bytes);
    } catch (FileError& e) {
        e.description += QStringLiteral(": ") + path;
        throw;
    }
}

QString ShowFile::Save(const QString& path, const ShowRecord& show, EarlierVersions versions) {
    // The one safe writer of a file with its earlier versions; a show has no side file.
    return LibraryPairFile(path, std::move(versions), true).Save(Encode(show), std::nullopt);
}

} // namespace quillbox

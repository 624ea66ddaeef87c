// The questions the collection answers, over the cache that CollectionIndex.cpp keeps.
#include "CollectionIndex.h"
#include "PatchFinder.h"
#include "PatchImage.h"
#include "TwinIndex.h"
#include "ValueTables.h"

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <algorithm>

namespace quillbox {

namespace {

const QString PlaceColumns =
    QStringLiteral("SELECT f.path, p.position, f.kind, p.name, p.description, p.bytes FROM patches p "
                   "JOIN files f ON f.id = p.file_id ");

Place PlaceFrom(const QSqlQuery& query) {
    return {query.value(0).toString(), query.value(1).toLongLong(), PlaceKind(query.value(2).toInt()),
            query.value(3).toString(), query.value(4).toString(),   query.value(5).toByteArray()};
}

void SortPlaces(std::vector<Place>& places) {
    std::sort(places.begin(), places.end(), [](const Place& a, const Place& b) {
        return a.path != b.path ? a.path < b.path : a.position < b.position;
    });
}

} // namespace

namespace {

// The part of a patch's find text that its decoded parameters give: the texts of its drive type,
// cab type and speaker, "drive on"/"drive off", "cab on"/"cab off". A word (which never holds a
// line break) is in that part when it is in one of them, which a condition on the stored values
// tells without storing or indexing the texts.
struct ParameterMatch {
    QString condition;   // " OR ..." on patches `p`; empty when no parameter text holds the word
    bool always = false; // every patch's parameter text holds it (e.g. "drive")
};

ParameterMatch ParametersHolding(const QByteArray& word) {
    static const auto folded = [](ParameterList list) {
        std::vector<QByteArray> texts;
        for (const QString& entry : ParameterTable(list).entries)
            texts.push_back(PatchFinder::Folded(entry));
        return texts;
    };
    static const struct {
        const char* column;
        std::vector<QByteArray> texts;
    } tables[] = {{"drive_type", folded(ParameterList::DriveType)},
                  {"cab_type", folded(ParameterList::CabType)},
                  {"cab_speaker", folded(ParameterList::CabSpeaker)}};
    ParameterMatch match;
    for (const auto& table : tables) {
        QStringList values;
        for (size_t i = 0; i < table.texts.size(); ++i)
            if (table.texts[i].contains(word))
                values.append(QString::number(i));
        if (!values.isEmpty())
            match.condition +=
                QStringLiteral(" OR p.%1 IN (%2)").arg(QLatin1String(table.column), values.join(u','));
    }
    for (const char* what : {"drive", "cab"}) {
        const bool on = QByteArray(QByteArray(what) + " on").contains(word);
        const bool off = QByteArray(QByteArray(what) + " off").contains(word);
        match.always = match.always || (on && off);
        if (on != off)
            match.condition += QStringLiteral(" OR p.%1_on = %2").arg(QLatin1String(what)).arg(on ? 1 : 0);
    }
    return match;
}

// The index keeps which patches hold each run of three characters, not where (it is smaller and
// built in two thirds of the time that way), so a word is asked of it as all its runs: the patches that
// hold the word and a few that hold its runs apart, which the substring test then leaves out.
// Empty for a word of fewer than three characters, which the index cannot tell.
QString TrigramsOf(const QString& word) {
    const QList<uint> characters = word.toUcs4();
    QStringList trigrams;
    for (qsizetype i = 0; i + 3 <= characters.size(); ++i) {
        const QString trigram =
            QLatin1Char('"') +
            QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData() + i), 3)
                .replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
            QLatin1Char('"');
        if (!trigrams.contains(trigram))
            trigrams.append(trigram);
    }
    return trigrams.isEmpty() ? QString() : u'(' + trigrams.join(QStringLiteral(" AND ")) + u')';
}

} // namespace

// Full-text candidates are asked of the rarest phrase only when one is rare: the index is probed
// for at most this many hits per phrase, so that a common word ("lead") costs no long list.
constexpr int ProbeHits = 20000;

// The condition on patches `p` that a query's words put, with its values in `values`. A word that
// starts with '#' is a tag and matches that tag exactly; every other word must be in the patch's
// name, description or parameter texts. With full-text search the index picks the candidates (it
// holds only names and descriptions, and only words of three characters or more, so a word that a
// parameter text may hold is not asked of it) and the same test as without it decides, so both
// answer alike.
QString CollectionIndex::WordsCondition(const QString& query, QVariantList& values) const {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QStringList textTests, phrases, tags;
    QVariantList textValues;
    for (const QByteArray& word : PatchFinder::Words(query)) {
        const QString text = QString::fromUtf8(word);
        if (text.startsWith(QLatin1Char('#')) && text.size() > 1) {
            tags.append(text);
            continue;
        }
        const ParameterMatch parameters = ParametersHolding(word);
        if (parameters.always)
            continue;
        textTests.append(QStringLiteral("(instr(p.words, ?) > 0") + parameters.condition + u')');
        textValues.append(text);
        if (fullText_ && parameters.condition.isEmpty())
            if (const QString trigrams = TrigramsOf(text); !trigrams.isEmpty())
                phrases.append(trigrams);
    }
    QStringList conditions;
    if (!phrases.isEmpty()) {
        qsizetype rarest = -1, fewest = ProbeHits;
        QSqlQuery probe(db);
        probe.prepare(
            QStringLiteral(
                "SELECT count(*) FROM (SELECT rowid FROM patch_text WHERE patch_text MATCH ? LIMIT %1)")
                .arg(ProbeHits));
        for (qsizetype i = 0; phrases.size() > 1 && i < phrases.size(); ++i) {
            probe.addBindValue(phrases[i]);
            if (probe.exec() && probe.next() && probe.value(0).toLongLong() < fewest) {
                fewest = probe.value(0).toLongLong();
                rarest = i;
            }
        }
        conditions.append(QStringLiteral("p.id IN (SELECT rowid FROM patch_text WHERE patch_text MATCH ?)"));
        values.append(rarest >= 0 ? phrases[rarest] : phrases.join(QStringLiteral(" AND ")));
    }
    conditions += textTests;
    values.append(textValues);
    // A tag alone picks the patches by its index; after words, each candidate is looked up.
    for (const QString& tag : std::as_const(tags)) {
        conditions.append(
            conditions.isEmpty()
                ? QStringLiteral("p.id IN (SELECT patch_id FROM tags WHERE tag = ?)")
                : QStringLiteral("EXISTS (SELECT 1 FROM tags t WHERE t.patch_id = p.id AND t.tag = ?)"));
        values.append(tag);
    }
    return conditions.join(QStringLiteral(" AND "));
}

namespace {

std::vector<Place> PlacesIn(const QString& connection, const QString& where, const QVariantList& values) {
    std::vector<Place> places;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    query.prepare(PlaceColumns + where);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return places;
    while (query.next())
        places.push_back(PlaceFrom(query));
    SortPlaces(places);
    return places;
}

QStringList IdenticalPlacesIn(const QString& connection, const QByteArray& bytes) {
    QStringList places;
    for (const Place& place :
         PlacesIn(connection, QStringLiteral("WHERE p.sound = ? AND p.bytes = ?"), {SoundOf(bytes), bytes})) {
        if (place.kind != PlaceKind::EarlierVersion)
            places << place.path + QLatin1Char(':') + QString::number(place.position + 1);
    }
    return places;
}

} // namespace

std::vector<Place> CollectionIndex::PlacesOf(const QString& where, const QVariantList& values) const {
    return PlacesIn(connection_, where, values);
}

std::vector<Place> CollectionIndex::Find(const QString& query, bool withVersions) const {
    QVariantList values;
    QStringList conditions;
    if (const QString words = WordsCondition(query, values); !words.isEmpty())
        conditions.append(words);
    if (!withVersions)
        conditions.append(QStringLiteral("f.kind <> %1").arg(int(PlaceKind::EarlierVersion)));
    return PlacesOf(conditions.isEmpty()
                        ? QString()
                        : QStringLiteral("WHERE ") + conditions.join(QStringLiteral(" AND ")),
                    values);
}

std::vector<DistinctPatch> CollectionIndex::Distinct(const QString& query) const {
    std::vector<DistinctPatch> patches;
    QVariantList values;
    const QString words = WordsCondition(query, values);
    QSqlQuery select(QSqlDatabase::database(connection_, false));
    select.setForwardOnly(true);
    // Grouped by sound and bytes: the same groups as by the bytes alone, in the order of their index.
    select.prepare(QStringLiteral("SELECT p.bytes, min(p.name), max(p.description), count(*), "
                                  "sum(f.kind <> %1) FROM patches p JOIN files f ON f.id = p.file_id ")
                       .arg(int(PlaceKind::EarlierVersion)) +
                   (words.isEmpty() ? QString() : QStringLiteral("WHERE ") + words) +
                   QStringLiteral(" GROUP BY p.sound, p.bytes ORDER BY 2, 1"));
    for (const QVariant& value : values)
        select.addBindValue(value);
    if (!select.exec())
        return patches;
    while (select.next())
        patches.push_back({select.value(0).toByteArray(), select.value(1).toString(),
                           select.value(2).toString(), select.value(3).toLongLong(),
                           select.value(4).toLongLong() == 0});
    return patches;
}

DistinctPatch CollectionIndex::DistinctList::Patch(qsizetype k) const {
    const QByteArray bytes = store.mid(k * PatchImageSize, lengths[size_t(k)]);
    return {bytes, NameOf(bytes), {}, places[size_t(k)], deleted[size_t(k)]};
}

std::vector<qsizetype> CollectionIndex::DistinctList::Matching(const QString& query) const {
    if (!order.empty() && PatchFinder::Words(query).isEmpty())
        return std::vector<qsizetype>(order.begin(), order.end()); // every live entry
    std::vector<qsizetype> found = finder.Matching(query);
    if ((order.empty() && dead.empty()) || inOrder)
        return found;
    // A large answer is put in order by one walk of the order; a small one by its ranks.
    if (qsizetype(found.size()) * 16 > qsizetype(order.size())) {
        // A bit per entry (a million take 128 KiB, which the cache keeps), set in one pass and read
        // in the order's.
        std::vector<quint64> hit(size_t(Count() + 63) / 64, 0);
        for (const qsizetype k : found)
            hit[size_t(k) / 64] |= quint64(1) << (k % 64);
        std::vector<qsizetype> ordered;
        ordered.reserve(found.size());
        for (const qint32 k : order)
            if (hit[size_t(k) / 64] >> (k % 64) & 1)
                ordered.push_back(k);
        return ordered;
    }
    found.erase(
        std::remove_if(found.begin(), found.end(), [this](qsizetype k) { return rank[size_t(k)] < 0; }),
        found.end());
    std::sort(found.begin(), found.end(),
              [this](qsizetype a, qsizetype b) { return rank[size_t(a)] < rank[size_t(b)]; });
    return found;
}

std::vector<qsizetype>
CollectionIndex::DistinctList::MatchingAmong(const QString& query,
                                             const std::vector<qsizetype>& among) const {
    std::vector<qsizetype> found = finder.MatchingAmong(query, among);
    if (!dead.empty())
        found.erase(
            std::remove_if(found.begin(), found.end(), [this](qsizetype k) { return dead[size_t(k)]; }),
            found.end());
    return found;
}

CollectionIndex::DistinctList CollectionIndex::ReadDistinct() const {
    DistinctList list;
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    // The patches in the order they are stored (CROSS JOIN keeps them the outer loop): one pass over
    // the table, where an order by bytes would jump about it.
    if (!query.exec(QStringLiteral("SELECT p.bytes, p.description, f.kind <> %1 FROM patches p "
                                   "CROSS JOIN files f ON f.id = p.file_id")
                        .arg(int(PlaceKind::EarlierVersion))))
        return list;
    struct Group {
        QByteArray bytes;
        qint32 places = 0;
        bool deleted = true;
        QStringList texts; // its descriptions, each once
    };
    std::vector<Group> groups;
    QHash<QByteArray, size_t> seen;
    while (query.next()) {
        const QByteArray bytes = query.value(0).toByteArray();
        auto found = seen.constFind(bytes);
        if (found == seen.constEnd()) {
            found = seen.insert(bytes, groups.size());
            groups.push_back({bytes, 0, true, {}});
        }
        Group& group = groups[*found];
        ++group.places;
        group.deleted = group.deleted && !query.value(2).toBool();
        const QString description = query.value(1).toString();
        if (!description.isEmpty() && !group.texts.contains(description))
            group.texts.append(description);
    }
    seen.clear();
    std::vector<QString> names(groups.size());
    std::vector<size_t> order(groups.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
        names[i] = NameOf(groups[i].bytes);
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return names[a] != names[b] ? names[a] < names[b] : groups[a].bytes < groups[b].bytes;
    });
    names.clear();
    list.store.reserve(qsizetype(order.size()) * PatchImageSize);
    list.lengths.reserve(order.size());
    list.places.reserve(order.size());
    list.deleted.reserve(order.size());
    for (const size_t i : order) {
        // A short last entry of a file is counted as the lists store it: padded to a whole image.
        list.store += groups[i].bytes.leftJustified(PatchImageSize, ' ', true);
        list.lengths.push_back(quint8(std::min<qsizetype>(groups[i].bytes.size(), PatchImageSize)));
        list.places.push_back(groups[i].places);
        list.deleted.push_back(groups[i].deleted);
    }
    list.finder.Rebuild(list.store,
                        [&](qsizetype k) { return groups[order[size_t(k)]].texts.join(QLatin1Char('\n')); });
    return list;
}

QString CollectionIndex::DescriptionOf(const QByteArray& bytes) const {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT max(description) FROM patches WHERE sound = ? AND bytes = ?"));
    query.addBindValue(SoundOf(bytes));
    query.addBindValue(bytes);
    return query.exec() && query.next() ? query.value(0).toString() : QString();
}

std::vector<RelatedPlace> CollectionIndex::WhereUsed(const QByteArray& bytes) const {
    std::vector<RelatedPlace> related;
    const QByteArray sound = SoundOf(bytes);
    const struct {
        Relation relation;
        QString where;
        QVariantList values;
    } kinds[] = {
        {Relation::Identical, QStringLiteral("WHERE p.sound = ? AND p.bytes = ?"), {sound, bytes}},
        {Relation::SameSound, QStringLiteral("WHERE p.sound = ? AND p.bytes <> ?"), {sound, bytes}},
        {Relation::SameName, QStringLiteral("WHERE p.name = ? AND p.sound <> ?"), {NameOf(bytes), sound}},
    };
    for (const auto& kind : kinds)
        for (Place& place : PlacesOf(kind.where, kind.values))
            related.push_back({kind.relation, std::move(place)});
    return related;
}

QStringList CollectionIndex::IdenticalPlaces(const QByteArray& bytes) const {
    return IdenticalPlacesIn(connection_, bytes);
}

CachedPlaces::CachedPlaces(const QString& cachePath) {
    const QString path = cachePath.isEmpty() ? CollectionIndex::DefaultCachePath() : cachePath;
    // Only the user's own cache is read, and only read: the window that scans is its one writer.
    if (!IsOwnRegularFile(path) || !QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return;
    connection_ = QStringLiteral("collection-places-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    open_ = db.open();
}

CachedPlaces::~CachedPlaces() {
    if (connection_.isEmpty())
        return;
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

QStringList CachedPlaces::Of(const QByteArray& bytes) const {
    return open_ ? IdenticalPlacesIn(connection_, bytes) : QStringList();
}

unsigned CollectionIndex::TwinKindsOf(const DistinctPatch& patch) const {
    const QByteArray sound = SoundOf(patch.bytes);
    const auto exists = [this](const QString& where, const QVariant& first, const QVariant& second) {
        QSqlQuery query(QSqlDatabase::database(connection_, false));
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT 1 FROM patches WHERE ") + where + QStringLiteral(" LIMIT 1"));
        query.addBindValue(first);
        query.addBindValue(second);
        return query.exec() && query.next();
    };
    unsigned kinds = patch.places > 1 ? TwinIdentical : TwinNone;
    if (exists(QStringLiteral("sound = ? AND bytes <> ?"), sound, patch.bytes))
        kinds |= TwinSameSound;
    if (exists(QStringLiteral("name = ? AND sound <> ?"), NameOf(patch.bytes), sound))
        kinds |= TwinSameName;
    return kinds;
}

std::optional<Place> CollectionIndex::PlaceAt(const QString& path, qsizetype position) const {
    std::vector<Place> places =
        PlacesOf(QStringLiteral("WHERE f.path = ? AND p.position = ?"), {path, qint64(position)});
    if (places.empty())
        return std::nullopt;
    return std::move(places.front());
}

QStringList CollectionIndex::CachedTags(const QString& cachePath) {
    const QString path = cachePath.isEmpty() ? DefaultCachePath() : cachePath;
    QStringList tags;
    if (!IsOwnRegularFile(path) || !QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return tags;
    const QString connection =
        QStringLiteral("collection-tags-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            // Bounded: completion offers what fits a popup, and a strange cache costs nothing.
            if (query.exec(QStringLiteral("SELECT DISTINCT tag FROM tags ORDER BY tag LIMIT 10000")))
                while (query.next())
                    tags.append(query.value(0).toString());
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return tags;
}

std::vector<TagCount> CollectionIndex::Tags() const {
    std::vector<TagCount> tags;
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
                        "SELECT t.tag, count(*) FROM tags t JOIN patches p ON p.id = t.patch_id "
                        "JOIN files f ON f.id = p.file_id WHERE f.kind <> %1 GROUP BY t.tag ORDER BY t.tag")
                        .arg(int(PlaceKind::EarlierVersion))))
        return tags;
    while (query.next())
        tags.push_back({query.value(0).toString(), query.value(1).toLongLong()});
    return tags;
}

} // namespace quillbox

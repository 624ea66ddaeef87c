#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <vector>

namespace quillbox {

// Finds the entries of a list whose text holds every typed word, ignoring case. An entry's text is
// its list line (position and name), its description and its decoded parameters (drive type, cab
// type, cab speaker, "Drive on"/"Drive off", "Cab on"/"Cab off"). The texts are case-folded once per
// change of the list into one UTF-8 buffer, so that a keystroke is a few fast substring scans. A word
// that starts with '#' is a tag ("#gig"): it matches only where it stands whole, after a blank.
//
// A list of a million entries may also keep a word index (BuildWordIndex, UseWordIndex): a whole
// search then looks only at the entries holding its rarest word, found among the distinct tokens of
// the texts, instead of scanning every text. The answers are the same with or without it.
class PatchFinder {
public:
    using DescriptionOf = std::function<QString(qsizetype index)>;
    // A description in UTF-8, as the collection keeps them; valid while the call that asked for it runs.
    using DescriptionBytesOf = std::function<QByteArrayView(qsizetype index)>;

    // The entries holding each token of the texts; a token is a run of bytes between ASCII blanks
    // (a query's word never holds one, so it is found only inside one token).
    class WordIndex {
    public:
        qsizetype HeldBytes() const {
            return vocabulary_.capacity() + qsizetype(postings_.capacity()) +
                   qsizetype((tokenEnds_.capacity() + counts_.capacity() + postingEnds_.capacity()) *
                             sizeof(quint32));
        }
        qsizetype Entries() const { return end_ - first_; }

    private:
        friend class PatchFinder;
        qsizetype first_ = 0, end_ = 0;    // the entries it covers
        quint64 generation_ = 0;           // the finder's texts it was built from
        QByteArray vocabulary_;            // the distinct tokens, each followed by a line break
        std::vector<quint32> tokenEnds_;   // where each token's line break stands in vocabulary_
        std::vector<quint32> counts_;      // how many entries hold each token
        std::vector<quint32> postingEnds_; // where each token's entries end in postings_
        // Each token's entries, ascending, as gaps in 7-bit groups (the first from first_). A token
        // too common to narrow a search keeps none: a word found in it looks at every entry covered.
        std::vector<quint8> postings_;
    };

    // `numbered`: an entry's text starts with its list line, number and name; otherwise with its
    // name alone (a list whose positions mean nothing, such as the collection's patches).
    explicit PatchFinder(bool numbered = true) : numbered_(numbered) {}

    // Takes the list's entries anew; call after every change of the store or its descriptions. Drops
    // the word index, as Update does.
    void Rebuild(const QByteArray& store, const DescriptionOf& descriptionOf);
    // Takes entries `first` to `last` anew after a change that kept the number of entries (a move,
    // a rename, a changed description); the other entries' texts stay as they were.
    void Update(const QByteArray& store, const DescriptionOf& descriptionOf, qsizetype first, qsizetype last);
    // Takes the entries of `store` beyond Count() as new entries at the end (the others keep their
    // numbers and texts), into the word index too when one is in use: the new entries' index costs
    // what they cost, and now and then the appended runs' indices merge (never the list's own).
    void Append(const QByteArray& store, const DescriptionOf& descriptionOf);
    // The same from UTF-8 descriptions: an ASCII one is folded byte by byte, without a string.
    void AppendUtf8(const QByteArray& store, const DescriptionBytesOf& descriptionOf);
    // Makes the room AppendUtf8 of the same entries takes. A caller that hands the append to a
    // thread of its own calls it first where it stands: the memory comes from this thread's heap,
    // where a list read before left it, rather than fresh from the system to be faulted in again.
    void ReserveUtf8(const QByteArray& store, const DescriptionBytesOf& descriptionOf);

    // The word index of the texts as they stand (a few bytes per word and entry; while it is built,
    // four more). Only reads the finder: another thread may build it while nothing changes the
    // finder. A search starts from the index when one of its words is held by at most an eighth of
    // the entries and is no parameter's text (those are looked up in every entry's settings), and
    // otherwise scans the texts as without it.
    WordIndex BuildWordIndex() const;
    // Searches with `index` from now on, taking in the entries appended since it was built; false
    // (and no index) when the texts were taken anew since.
    bool UseWordIndex(WordIndex index);
    bool HasWordIndex() const { return !segments_.empty(); }

    // The 0-based positions of the matching entries, in list order; every entry for a blank query.
    std::vector<qsizetype> Matching(const QString& query) const;

    // The entries of `among` (ascending) that match `query`, looking only at their texts: for a
    // query that narrows the one `among` answered (see Narrows), a keystroke costs what those
    // entries' texts cost, not the whole list's.
    std::vector<qsizetype> MatchingAmong(const QString& query, const std::vector<qsizetype>& among) const;
    // Whether every entry that matches `narrower` also matches `wider`: each word of the wider
    // query is part of a word of the narrower one (typing on at the end). Never with tags, which
    // match whole ("#gig" does not narrow "#gi"), nor from a blank query.
    static bool Narrows(const QString& narrower, const QString& wider);

    qsizetype Count() const { return qsizetype(starts_.size()) - 1; }
    // The bytes the finder holds (its texts, per-entry tables and word index).
    qsizetype HeldBytes() const {
        qsizetype held = text_.capacity() + qsizetype(starts_.capacity() * sizeof(qsizetype) +
                                                      settings_.capacity() * sizeof(Settings));
        for (const WordIndex& segment : segments_)
            held += segment.HeldBytes();
        return held;
    }

    // The word rules, for every finder that must answer as the lists do: a query's words, blanks
    // collapsed, each case-folded to UTF-8; an entry matches when its folded text holds every word.
    static QByteArray Folded(const QString& text);
    static QList<QByteArray> Words(const QString& query);

private:
    // An entry's decoded parameters, whose texts a word is looked for in by value.
    struct Settings {
        qint16 drive = -1, cab = -1, speaker = -1;
        bool driveOn = false, cabOn = false;
    };
    // Which texts of each parameter's table hold a word.
    struct TablesHolding;
    static TablesHolding TablesWith(const QByteArray& word);
    static Settings SettingsOf(const QByteArray& store, qsizetype k);
    static bool SettingsHold(const Settings& settings, const TablesHolding& tables);
    std::vector<qsizetype> EntriesHolding(const QByteArray& word) const;
    std::vector<qsizetype> Among(const QList<QByteArray>& words, const std::vector<qsizetype>& among) const;
    WordIndex IndexOf(qsizetype first, qsizetype end) const;
    void IndexAppended();
    bool FromIndex(const QList<QByteArray>& words, std::vector<qsizetype>& found) const;
    void AppendText(QByteArray& text, const QByteArray& store, qsizetype k,
                    const DescriptionOf& descriptionOf) const;
    void AppendName(QByteArray& text, const QByteArray& store, qsizetype k) const;
    qsizetype RoomForUtf8(const QByteArray& store, const DescriptionBytesOf& descriptionOf);

    QByteArray text_;                // every entry's folded line and description, each ended by a line break
    std::vector<Settings> settings_; // every entry's decoded parameters
    std::vector<qsizetype> starts_{0}; // where entry k's text starts; the last element is the end
    bool numbered_ = true;
    quint64 generation_ = 0; // counts the times the texts were taken anew
    // The word index in use, if any: the one built over the list, then one per run of appended
    // entries (merged as they grow, so that there are few).
    std::vector<WordIndex> segments_;
};

} // namespace quillbox

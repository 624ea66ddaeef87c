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
class PatchFinder {
public:
    using DescriptionOf = std::function<QString(qsizetype index)>;

    // `numbered`: an entry's text starts with its list line, number and name; otherwise with its
    // name alone (a list whose positions mean nothing, such as the collection's patches).
    explicit PatchFinder(bool numbered = true) : numbered_(numbered) {}

    // Takes the list's entries anew; call after every change of the store or its descriptions.
    void Rebuild(const QByteArray& store, const DescriptionOf& descriptionOf);
    // Takes the entries of `store` beyond Count() as new entries at the end; the others stay as they
    // were (a list whose entries keep their numbers grows without a rebuild).
    void Append(const QByteArray& store, const DescriptionOf& descriptionOf);
    // Takes entries `first` to `last` anew after a change that kept the number of entries (a move,
    // a rename, a changed description); the other entries' texts stay as they were.
    void Update(const QByteArray& store, const DescriptionOf& descriptionOf, qsizetype first, qsizetype last);

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
    // The bytes the finder holds (its texts and per-entry tables).
    qsizetype HeldBytes() const {
        return text_.capacity() +
               qsizetype(starts_.capacity() * sizeof(qsizetype) + settings_.capacity() * sizeof(Settings));
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
    void AppendText(QByteArray& text, const QByteArray& store, qsizetype k,
                    const DescriptionOf& descriptionOf) const;

    QByteArray text_;                // every entry's folded line and description, each ended by a line break
    std::vector<Settings> settings_; // every entry's decoded parameters
    std::vector<qsizetype> starts_{0}; // where entry k's text starts; the last element is the end
    bool numbered_ = true;
};

} // namespace quillbox

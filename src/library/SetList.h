#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace quillbox {

// One line of the printable set list: what a player needs on stage for each library entry.
struct SetListRow {
    QString position; // as the list shows it: "01", "02", ... "100"
    QString name;     // the rendered name without surrounding blanks
    QString driveType, cabType, cabSpeaker;
    QString drive, cab;  // "on" / "off"
    QString description; // line breaks kept
};

// How a set list is printed: the full table, or large print for the stage (position, name and
// description in letters readable from a step away).
enum class SetListPrint { Table, LargePrint };

// The column titles, in column order.
QStringList SetListHeader();

// A row per library entry; `descArray` is indexed from 1 as the library keeps it.
std::vector<SetListRow> SetListRows(const QByteArray& store, const QStringList& descArray);

// The rows as CSV: UTF-8 with a byte order mark, the header first, CR LF between records, and a field
// quoted (quotes doubled) when it holds a comma, a quote, a line break or surrounding blanks.
QByteArray SetListCsv(const std::vector<SetListRow>& rows);

} // namespace quillbox

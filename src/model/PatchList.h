#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quillbox {

// The line a list shows for entry `index` (0-based) of `store`: the 1-based position formatted
// "00", ":  ", then the decoded name. An entry too short to hold a name shows no name.
QString PatchListLine(const QByteArray& store, qsizetype index);

// Every line of a store, in order (what filling a list shows).
QStringList FillPatchList(const QByteArray& store);

// The tool tip of a list holding `count` lines.
QString PatchCountToolTip(qsizetype count);

// True when the last entry of `store` ends before its name is complete, so listing the store
// reports one name failure. `error` receives its description.
bool StoreHasUnreadableName(const QByteArray& store, QString* error = nullptr);

// The most name characters outside the device alphabet (codes 50-63, each shown as "(" code ")")
// that any one entry of `store` has: 0 to 6. Such lines are wider than the others.
int MostCodesOutsideAlphabet(const QByteArray& store);

} // namespace quillbox

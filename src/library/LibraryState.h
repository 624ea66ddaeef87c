#pragma once

#include "PatchImage.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace quillbox {

inline constexpr int ActiveListNone = 0;
inline constexpr int ActiveListPatches = 1;
inline constexpr int ActiveListLibrary = 2;

// The library being edited as the document alone writes it: its entries, their descriptions, its
// files and whether it differs from what they hold.
struct LibraryRecord {
    QByteArray LibraryData; // library images back to back, in list order
    // Element i (1..N) is the description of library entry i counted from 1; element 0 is never
    // shown or saved. Empty means "no elements" (no library yet).
    QStringList DescArray;
    QString LibFilePath;
    QString LibFileName;
    QString DescFilePath;
    bool LibChanged = false;
    bool LibraryLoaded = false; // a library was loaded or saved: there is something to save
};

// What the window holds around the library: the imported patches, the selection and the panel.
struct SessionRecord {
    QByteArray PatchesData; // imported images back to back
    QString PatchesFilePath;
    QString PatchesFileName;
    QString PatchesDescFilePath;
    int ActiveList = ActiveListNone;
    qsizetype PatchIndex = 0; // entry shown in the details panel, in its own list; -1 none
    PatchImage CurrentPatch;
    bool DescLock = false;
    bool ChangeAll = false; // "Change  All" chosen instead of "Change  Selected"
    bool DetailsEnabled = false;
    qsizetype LibSelection = -1;     // selected line of lstLib; with several, the current one
    qsizetype PatchesSelection = -1; // selected line of lstPatches; with several, the current one
    // Every selected line, ascending, while more than one is selected (and it holds the current
    // one); empty otherwise, so that one selected line is exactly LibSelection / PatchesSelection.
    QList<qsizetype> LibSelected;
    QList<qsizetype> PatchesSelected;
};

// Everything the program knows about the library being edited and the imported patches.
struct LibraryState : LibraryRecord, SessionRecord {};

} // namespace quillbox

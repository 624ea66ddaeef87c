#pragma once

#include <QString>
#include <QStringList>
#include <span>

namespace quillbox {

// The eleven drop-down lists of the details panel, in the order they are filled at start-up.
enum class ParameterList {
    DriveType,
    CabType,
    CabSpeaker,
    ModType,
    RevType,
    ZNRLevel,
    EqHigh,
    EqMid,
    EqLow,
    EqLevel,
    TotalLevel,
};

struct ParameterTableInfo {
    ParameterList list;
    QString objectName;   // the control's name, e.g. "cbxDriveType"
    QString designedText; // the text the control carries before it is filled
    QStringList entries;  // entry i is shown for stored value i (bound lists)
};

// All eleven tables in fill order.
std::span<const ParameterTableInfo> ParameterTables();
const ParameterTableInfo& ParameterTable(ParameterList list);

} // namespace quillbox

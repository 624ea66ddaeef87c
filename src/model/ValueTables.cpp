#include "ValueTables.h"

#include <vector>

namespace quillbox {

namespace {

QStringList Numbers(int count, int first) {
    QStringList list;
    for (int i = 0; i < count; ++i)
        list.append(QString::number(first + i));
    return list;
}

QStringList Texts(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* t : texts)
        list.append(QString::fromUtf8(t));
    return list;
}

std::vector<ParameterTableInfo> BuildTables() {
    using L = ParameterList;
    auto s = [](const char* t) { return QString::fromUtf8(t); };
    return {
        {L::DriveType, s("cbxDriveType"), s("Drive Type"),
         Texts({"US-Clean", "US-Drive", "Tweet", "Class A", "UK-Crunch", "UK-Drive", "CMB 355", "Mtlpnl",
                "Blkbtm", "Soldano", "Fuzz-Stack", "Acoustic Sim", "Jazz Clean", "Comp", "9002", "Tr Bass",
                "Fdr Bass", "Sans Bass", "Dyn Cr", "Dyn Ts", "Dyn GV", "Mtzone", "Mic Preamp", "Mix Fx"})},
        {L::CabType, s("cbxCabType"), s("Cab Type"),
         Texts({"Combo", "Bright Combo", "Flat Cab", "Stack", "Bass Combo", "Bass Stack"})},
        {L::CabSpeaker, s("cbxCabSpeaker"), s("Cab Speaker"),
         Texts({"Combo 1*12\"", "Combo 2*12\"", "Combo 1*10\"", "Stack 4*10\"", "Multiple Amp Stack",
                "Bass Combo 1*15\"", "Bass Stack 4*6.5\""})},
        {L::ModType, s("cbxModType"), s("Mod Type"),
         Texts({"Chorus", "Vibrato", "Flange", "Phase", "Tremolo", "Auto Wah", "Step", "Pitch Shift",
                "Ring Mod", "Slow Attack", "Wide", "Cry", "Exciter", "Air"})},
        {L::RevType, s("cbxRevType"), s("Rev Type"),
         Texts({"Hall", "Spring", "Room", "Ping Pong Delay", "Mono Delay", "Dylay & Hall", "Room & Hall",
                "Air", "not used", "Wide"})},
        {L::ZNRLevel, s("cbxZNRLevel"), s("ZNR Level"), Numbers(16, 0)},
        {L::EqHigh, s("cbxEqHigh"), s("Eq High"), Numbers(25, -12)},
        {L::EqMid, s("cbxEqMid"), s("Eq Mid"), Numbers(25, -12)},
        {L::EqLow, s("cbxEqLow"), s("Eq Low"), Numbers(25, -12)},
        {L::EqLevel, s("cbxEqLevel"), s("Eq Level"), Numbers(7, 1)},
        {L::TotalLevel, s("cbxTotalLevel"), s("Total Level"), Numbers(30, 1)},
    };
}

const std::vector<ParameterTableInfo>& Tables() {
    static const std::vector<ParameterTableInfo> tables = BuildTables();
    return tables;
}

} // namespace

std::span<const ParameterTableInfo> ParameterTables() {
    return Tables();
}

const ParameterTableInfo& ParameterTable(ParameterList list) {
    return Tables()[static_cast<size_t>(list)];
}

} // namespace quillbox

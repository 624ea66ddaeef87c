#include "MainLayout.h"

#include <algorithm>
#include <cmath>

namespace quillbox {

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

bool IsColumnTitle(const QString& name) {
    return name == QLatin1String("lblPatches") || name == QLatin1String("lblLib") ||
           name == QLatin1String("lblDetails");
}

bool Overlap(int start1, int end1, int start2, int end2) {
    return start1 < end2 && start2 < end1;
}

// Moves controls apart where a grown control now reaches into its neighbour. Only neighbours that
// share a row (horizontal) or a column (vertical) count. Sideways, the neighbour and what follows it
// in its own row move, so the gaps of a row stay as designed (the four EQ lists keep their even
// gaps when a list of another row widens). Downwards, everything that starts at or after the
// neighbour moves by the same amount, so the rows stay aligned.
void ResolveOverlaps(MainGeometry& g, const MainGeometry& designed, const QStringList& kids,
                     bool horizontal) {
    auto start = [horizontal](const TwipsRect& r) {
        return horizontal ? r.left : r.top;
    };
    auto end = [horizontal](const TwipsRect& r) {
        return horizontal ? r.right() : r.bottom();
    };
    auto crossStart = [horizontal](const TwipsRect& r) {
        return horizontal ? r.top : r.left;
    };
    auto crossEnd = [horizontal](const TwipsRect& r) {
        return horizontal ? r.bottom() : r.right();
    };
    auto shift = [horizontal](TwipsRect& r, int delta) {
        (horizontal ? r.left : r.top) += delta;
    };

    for (int round = 0; round < 1000; ++round) {
        bool changed = false;
        for (const QString& a : kids) {
            for (const QString& b : kids) {
                const TwipsRect& da = designed[a];
                const TwipsRect& db = designed[b];
                if (a == b || start(da) >= start(db) || end(da) > start(db))
                    continue; // not a designed neighbour before b
                const TwipsRect ra = g[a];
                const TwipsRect rb = g[b];
                if (!Overlap(crossStart(ra), crossEnd(ra), crossStart(rb), crossEnd(rb)))
                    continue;
                const int gap = std::clamp(start(db) - end(da), 0, 4 * TwipsPerPixel);
                const int delta = end(ra) + gap - start(rb);
                if (delta <= 0)
                    continue;
                const int from = start(rb);
                for (const QString& k : kids) {
                    const TwipsRect rk = g[k];
                    const bool sameRow = Overlap(crossStart(rk), crossEnd(rk), crossStart(rb), crossEnd(rb));
                    if (start(rk) >= from && (!horizontal || sameRow))
                        shift(g[k], delta);
                }
                changed = true;
            }
        }
        if (!changed)
            return;
    }
}

} // namespace

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips / static_cast<double>(TwipsPerPixel)));
}

int PixelsToTwips(int pixels) {
    return pixels * TwipsPerPixel;
}

const std::vector<ControlDesign>& MainWindowControls() {
    using K = ControlKind;
    static const std::vector<ControlDesign> controls = {
        {S("frmDescription"), K::Frame, {}, {24, 0, 7452, 972}, {}},
        {S("txtDescription"), K::MultiLineTextBox, S("frmDescription"), {48, 144, 7380, 780}, {}},
        {S("frmPatches"), K::Frame, {}, {0, 984, 1836, 3972}, {}},
        {S("lblPatches"), K::CenteredLabel, S("frmPatches"), {144, 240, 1524, 204}, S("Patches")},
        {S("lstPatches"), K::ListBox, S("frmPatches"), {120, 552, 1596, 3312}, {}},
        {S("frmLib"), K::Frame, {}, {1848, 984, 1836, 3972}, {}},
        {S("lblLib"), K::CenteredLabel, S("frmLib"), {168, 240, 1524, 204}, S("Library")},
        {S("lstLib"), K::ListBox, S("frmLib"), {120, 552, 1596, 3312}, {}},
        {S("frmDetail"), K::Frame, {}, {3696, 984, 4692, 4836}, {}},
        {S("lblDetails"), K::CenteredLabel, S("frmDetail"), {96, 240, 4476, 204}, S("Details")},
        {S("frmChange"), K::Frame, S("frmDetail"), {192, 456, 4308, 708}, {}},
        {S("optAll"), K::OptionButton, S("frmChange"), {408, 240, 1500, 300}, S("Change  All")},
        {S("optSelected"), K::OptionButton, S("frmChange"), {1968, 240, 1956, 300}, S("Change  Selected")},
        {S("chkDrive"), K::CheckBox, S("frmDetail"), {168, 1320, 780, 276}, S("Drive")},
        {S("cbxDriveType"), K::ComboBox, S("frmDetail"), {960, 1296, 1500, 288}, S("Drive Type")},
        {S("chkCab"), K::CheckBox, S("frmDetail"), {168, 1836, 780, 276}, S("Cab")},
        {S("cbxCabType"), K::ComboBox, S("frmDetail"), {960, 1824, 1500, 288}, S("Cab Type")},
        {S("cbxCabSpeaker"), K::ComboBox, S("frmDetail"), {2520, 1824, 1500, 288}, S("Cab Speaker")},
        {S("chkZnr"), K::CheckBox, S("frmDetail"), {168, 2352, 780, 276}, S("ZNR")},
        {S("cbxZNRLevel"), K::ComboBox, S("frmDetail"), {960, 2352, 1500, 288}, S("ZNR Level")},
        {S("chkEq"), K::CheckBox, S("frmDetail"), {168, 2880, 780, 276}, S("EQ")},
        {S("cbxEqHigh"), K::ComboBox, S("frmDetail"), {960, 2880, 732, 288}, S("Eq High")},
        {S("cbxEqMid"), K::ComboBox, S("frmDetail"), {1744, 2880, 732, 288}, S("Eq Mid")},
        {S("cbxEqLow"), K::ComboBox, S("frmDetail"), {2528, 2880, 732, 288}, S("Eq Low")},
        {S("cbxEqLevel"), K::ComboBox, S("frmDetail"), {3312, 2880, 732, 288}, S("Eq Level")},
        {S("chkMod"), K::CheckBox, S("frmDetail"), {168, 3396, 780, 276}, S("Mod")},
        {S("cbxModType"), K::ComboBox, S("frmDetail"), {960, 3384, 1500, 288}, S("Mod Type")},
        {S("chkRev"), K::CheckBox, S("frmDetail"), {168, 3912, 780, 276}, S("Rev")},
        {S("cbxRevType"), K::ComboBox, S("frmDetail"), {960, 3888, 1500, 288}, S("Rev Type")},
        {S("lblName"), K::Label, S("frmDetail"), {192, 4440, 540, 276}, S("Name")},
        {S("txtName"), K::TextBox, S("frmDetail"), {960, 4392, 1500, 324}, S("Patch Name")},
        {S("lblLevel"), K::Label, S("frmDetail"), {2640, 4440, 612, 276}, S("Level")},
        {S("cbxTotalLevel"), K::ComboBox, S("frmDetail"), {3336, 4416, 732, 288}, S("Total Level")},
    };
    return controls;
}

const QStringList& MainWindowTabOrder() {
    static const QStringList order = {
        S("txtDescription"), S("lstPatches"), S("lstLib"),        S("chkDrive"),   S("cbxDriveType"),
        S("chkCab"),         S("cbxCabType"), S("cbxCabSpeaker"), S("chkZnr"),     S("cbxZNRLevel"),
        S("chkEq"),          S("cbxEqHigh"),  S("cbxEqMid"),      S("cbxEqLow"),   S("cbxEqLevel"),
        S("chkMod"),         S("cbxModType"), S("chkRev"),        S("cbxRevType"), S("txtName"),
        S("cbxTotalLevel"),  S("optAll"),     S("optSelected"),
    };
    return order;
}

MainGeometry DesignedMainGeometry() {
    MainGeometry geometry;
    for (const ControlDesign& control : MainWindowControls())
        geometry.insert(control.name, control.rect);
    return geometry;
}

MainGeometry FitMainGeometry(const MainGeometry& designed,
                             const std::function<QSize(const QString&)>& needed) {
    MainGeometry g = designed;
    // Inner containers first, so that a container knows its final content when its own turn comes.
    const QStringList containers = {S("frmChange"), S("frmDescription"), S("frmPatches"),
                                    S("frmLib"),    S("frmDetail"),      QString()};
    for (const QString& container : containers) {
        QStringList kids;
        for (const ControlDesign& control : MainWindowControls()) {
            if (control.container == container)
                kids.append(control.name);
        }
        for (const QString& kid : kids) {
            const QSize need = needed(kid);
            TwipsRect& r = g[kid];
            r.width = std::max(r.width, need.width());
            r.height = std::max(r.height, need.height());
        }
        ResolveOverlaps(g, designed, kids, true);
        ResolveOverlaps(g, designed, kids, false);
        if (container.isEmpty())
            continue;

        // The container keeps its designed margins around the content; titles span the frame.
        int designedRight = 0;
        int designedBottom = 0;
        int right = 0;
        int bottom = 0;
        for (const QString& kid : kids) {
            if (IsColumnTitle(kid))
                continue;
            designedRight = std::max(designedRight, designed[kid].right());
            designedBottom = std::max(designedBottom, designed[kid].bottom());
            right = std::max(right, g[kid].right());
            bottom = std::max(bottom, g[kid].bottom());
        }
        TwipsRect& box = g[container];
        const int widthDelta = right + std::max(0, designed[container].width - designedRight) - box.width;
        if (widthDelta > 0) {
            box.width += widthDelta;
            for (const QString& kid : kids) {
                if (IsColumnTitle(kid))
                    g[kid].width += widthDelta;
            }
        }
        box.height = std::max(box.height, bottom + std::max(0, designed[container].height - designedBottom));
    }
    return g;
}

QSize FittedClientSize(const MainGeometry& geometry) {
    int width = DesignedClientWidth;
    int height = DesignedClientHeight;
    for (const ControlDesign& control : MainWindowControls()) {
        if (!control.container.isEmpty())
            continue;
        const TwipsRect& r = geometry[control.name];
        width = std::max(width, r.right());
        height = std::max(height, r.bottom());
    }
    return {width, height};
}

int ApplyResizeRules(MainGeometry& g, int clientWidth, int clientHeight) {
    const int w = clientWidth;
    const int h = clientHeight;
    int applied = 0;
    // Each value is computed when its rule runs, from the values as they stand then.
    auto set = [&](const char* name, int TwipsRect::*field, int value) {
        if (value < 0)
            return false;
        g[S(name)].*field = value;
        ++applied;
        return true;
    };
    auto at = [&](const char* name) {
        return g.value(S(name));
    };
    const bool done =
        set("frmPatches", &TwipsRect::height, h - at("frmPatches").top) &&
        set("frmLib", &TwipsRect::height, h - at("frmLib").top) &&
        set("frmDetail", &TwipsRect::height, h - at("frmDetail").top) &&
        set("frmDetail", &TwipsRect::width, w - at("frmDetail").left) &&
        set("frmDescription", &TwipsRect::width, w - at("frmDescription").left) &&
        set("lstPatches", &TwipsRect::height, h - at("frmPatches").top - at("lstPatches").top) &&
        set("lstLib", &TwipsRect::height, h - at("frmLib").top - at("lstLib").top) &&
        set("txtDescription", &TwipsRect::width, w - at("txtDescription").left) &&
        set("lblDetails", &TwipsRect::width, at("frmDetail").width - 100);
    Q_UNUSED(done)
    return applied;
}

} // namespace quillbox

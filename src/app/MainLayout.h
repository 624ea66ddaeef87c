#pragma once

#include <QHash>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace quillbox {

// Positions and sizes of the main window are kept in twips (1/1440 inch), the unit the window was
// designed in; on screen 15 twips are one logical pixel.
inline constexpr int TwipsPerPixel = 15;

// The designed client area of the main window.
inline constexpr int DesignedClientWidth = 8388;
inline constexpr int DesignedClientHeight = 5832;

int TwipsToPixels(int twips);
int PixelsToTwips(int pixels); // rounded up, so that a size in twips never shrinks on screen

struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

enum class ControlKind {
    Frame,
    Label,
    CenteredLabel,
    ListBox,
    TextBox,
    MultiLineTextBox,
    ComboBox,
    CheckBox,
    OptionButton
};

struct ControlDesign {
    QString name;
    ControlKind kind;
    QString container; // empty: the window's client area
    TwipsRect rect;    // relative to the container
    QString text;      // caption or designed text
};

// Every control of the main window in the order of its design table.
const std::vector<ControlDesign>& MainWindowControls();
// The keyboard focus order.
const QStringList& MainWindowTabOrder();

using MainGeometry = QHash<QString, TwipsRect>;

// The designed geometry of every control.
MainGeometry DesignedMainGeometry();

// Widens (and heightens) every control whose content needs more room than designed, as little as
// needed, and keeps the arrangement: whatever stands to the right of a widened control in the same
// container moves right with it (columns stay aligned), containers grow around their content, and the
// titles of the three columns grow with their frames. `needed` gives a control's minimum size in
// twips (an empty size for controls that adapt, such as frames).
MainGeometry FitMainGeometry(const MainGeometry& designed,
                             const std::function<QSize(const QString&)>& needed);

// The client size a fitted geometry needs: at least the designed size, and wide and high enough for
// every column.
QSize FittedClientSize(const MainGeometry& geometry);

// The layout rules that run whenever the window's size changes: the columns reach the bottom, the
// details and description frames reach the right edge, the lists end at the bottom of their frames.
// Applied in order; a rule that would give a negative size ends the run (the rules before it stay).
// Returns the number of rules applied (all: ResizeRuleCount).
inline constexpr int ResizeRuleCount = 9;
int ApplyResizeRules(MainGeometry& geometry, int clientWidth, int clientHeight);

} // namespace quillbox

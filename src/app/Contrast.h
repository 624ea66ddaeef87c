#pragma once

#include <QColor>
#include <QList>

class QPalette;

namespace quillbox {

// The contrast ratio of two colours as the web's accessibility guidelines define it: 1 (the same
// luminance) to 21 (black on white). Text needs at least 4.5 to stay readable.
double ContrastRatio(const QColor& a, const QColor& b);

inline constexpr double ReadableContrast = 4.5;

// `tint` laid over `ground` with the given opacity (0..1).
QColor Mixed(const QColor& ground, const QColor& tint, double opacity);

// A ground tinted with `tint` on which `text` stays readable: as much of the tint as `opacity`
// asks for, less where the text would not stand out enough.
QColor TintedGround(const QColor& ground, const QColor& tint, double opacity, const QColor& text);

// A colour of `hue`'s hue that is readable on each of `grounds`: made lighter on dark grounds,
// darker on light ones; `fallback` when no shade of it is.
QColor ReadableHue(const QColor& hue, const QList<QColor>& grounds, const QColor& fallback);

// The colours the compare window shows its highlights with, taken from the palette it is shown in.
struct CompareColours {
    QColor text, base;               // the byte table's text and ground
    QColor nameGround, boundGround;  // bits of the name field and of the bound fields
    QColor differs;                  // a differing bit or byte, on any of the table's grounds
    QColor labelText, differsGround; // a differing value beside the table
};
CompareColours CompareColoursFor(const QPalette& palette);

} // namespace quillbox

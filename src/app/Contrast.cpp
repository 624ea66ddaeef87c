#include "Contrast.h"

#include <QPalette>
#include <algorithm>
#include <cmath>

namespace quillbox {

namespace {

double Channel(double value) {
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * Channel(rgb.redF()) + 0.7152 * Channel(rgb.greenF()) + 0.0722 * Channel(rgb.blueF());
}

} // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Mixed(const QColor& ground, const QColor& tint, double opacity) {
    const QColor g = ground.toRgb(), t = tint.toRgb();
    auto mix = [opacity](double a, double b) {
        return a + (b - a) * opacity;
    };
    return QColor::fromRgbF(float(mix(g.redF(), t.redF())), float(mix(g.greenF(), t.greenF())),
                            float(mix(g.blueF(), t.blueF())));
}

QColor TintedGround(const QColor& ground, const QColor& tint, double opacity, const QColor& text) {
    // The plain ground is the last resort; a palette whose text is unreadable on its own ground is
    // the palette's to mend.
    for (double o = opacity; o > 0.01; o -= 0.05) {
        const QColor tinted = Mixed(ground, tint, o);
        if (ContrastRatio(text, tinted) >= ReadableContrast)
            return tinted;
    }
    return ground;
}

QColor ReadableHue(const QColor& hue, const QList<QColor>& grounds, const QColor& fallback) {
    double darkest = 1;
    for (const QColor& ground : grounds)
        darkest = std::min(darkest, Luminance(ground));
    const bool darkGrounds = darkest < 0.18;
    const QColor hsl = hue.toHsl();
    // From the hue's own lightness towards white on dark grounds, towards black on light ones.
    const double own = hsl.lightnessF();
    for (int step = 0; step <= 20; ++step) {
        const double share = step / 20.0;
        const double lightness = darkGrounds ? own + (1 - own) * share : own * (1 - share);
        const QColor shade = QColor::fromHslF(hsl.hslHueF(), hsl.hslSaturationF(), float(lightness));
        if (std::all_of(grounds.cbegin(), grounds.cend(), [&shade](const QColor& ground) {
                return ContrastRatio(shade, ground) >= ReadableContrast;
            }))
            return shade.toRgb();
    }
    return fallback;
}

CompareColours CompareColoursFor(const QPalette& palette) {
    CompareColours c;
    c.text = palette.color(QPalette::Text);
    c.base = palette.color(QPalette::Base);
    // Blue for the name, green for the bound parameters, red for a difference, yellow behind a
    // differing value: as readable on a dark or high-contrast palette as on a light one.
    c.nameGround = TintedGround(c.base, QColor(0x42, 0x85, 0xf4), 0.25, c.text);
    c.boundGround = TintedGround(c.base, QColor(0x34, 0xa8, 0x53), 0.25, c.text);
    c.differs = ReadableHue(QColor(0xc6, 0x28, 0x28), {c.base, c.nameGround, c.boundGround}, c.text);
    c.labelText = palette.color(QPalette::WindowText);
    c.differsGround =
        TintedGround(palette.color(QPalette::Window), QColor(0xff, 0xc1, 0x07), 0.45, c.labelText);
    return c;
}

} // namespace quillbox

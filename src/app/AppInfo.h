#pragma once

#include <QString>

namespace quillbox {

// What the program says about itself: product name, version and the developer's notices.
struct AppInfo {
    static QString ProductName() { return QStringLiteral("Quillbox"); }
    static int Major() { return QUILLBOX_VERSION_MAJOR; }
    static int Minor() { return QUILLBOX_VERSION_MINOR; }
    static int Revision() { return QUILLBOX_VERSION_REVISION; }
    // Major "." minor, as captions and the about text show it.
    static QString VersionText() {
        return QString::number(Major()) + QLatin1Char('.') + QString::number(Minor());
    }
    static QString FullVersion() { return VersionText() + QLatin1Char('.') + QString::number(Revision()); }
    static QString Developer() { return QStringLiteral("the Quillbox team"); }
    static QString Copyright() { return QStringLiteral("Copyright (C) 2024-2025 the Quillbox team"); }
    // Follows the version in the window caption and the about text.
    static QString Notice() { return QStringLiteral("  (C) 2024-2025 the Quillbox team"); }
    static QString WebAddress() { return QStringLiteral("https://quillbox.example.org"); }
    // Product, separator, version and notice.
    static QString MainCaption() { return ProductName() + QStringLiteral(" - ") + VersionText() + Notice(); }
};

} // namespace quillbox

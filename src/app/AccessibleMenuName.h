#pragma once

class QMenu;
class QString;

namespace quillbox {

// Names `menu` for screen readers, and its entry in the menu bar too, which would otherwise be read out
// as its caption: a sign such as "?" says nothing about the menu.
void SetAccessibleMenuName(QMenu* menu, const QString& name);

} // namespace quillbox

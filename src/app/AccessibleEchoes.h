#pragma once

namespace quillbox {

// Keeps the menus from making a screen reader repeat the window. Each time a menu of the menu bar
// opens or closes (every arrow key across the bar does both), Qt tells the accessibility bus again
// that the window it belongs to is active and that the focus is back in the control under the
// menus; a reader then says the window's title and that control each time. This drops a window's
// activation when the bus was last told the same, and a focus change to anything but a menu while
// a menu is open; a window that really becomes active again (after another window was) is still
// announced, and so is the control the focus goes back to once the menus close. Installed once.
void DropAccessibleEchoes();

} // namespace quillbox

#pragma once

namespace quillbox {

// On Linux the accessibility bridge of this Qt (6.4) offers no Selection interface on the AT-SPI
// bus, so a screen reader or switch access can see which lines of a list are selected but cannot
// select one. This adds that interface to every accessible object that has a table interface
// (lists and tables) by wrapping the bridge's object tree: calls to org.a11y.atspi.Selection are
// answered here through Qt's QAccessibleTableInterface (so a selection made this way changes the
// view's selection model as any other does), everything else goes on to the bridge. Installs
// itself whenever accessibility becomes active; does nothing where there is no such bus.
void OfferAtSpiSelection();

} // namespace quillbox

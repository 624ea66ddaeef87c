#pragma once

class QEvent;
class QObject;

namespace quillbox {

// For an event filter on text boxes (line or plain text): true when `event`, sent to `watched`, was a
// paste or cut key (Shift+Ins, Shift+Del) that the box has now acted on.
bool TakeTextBoxEditKey(QObject* watched, QEvent* event);

} // namespace quillbox

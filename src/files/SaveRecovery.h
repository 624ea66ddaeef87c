#pragma once

#include "SafeSave.h"

#include <QString>
#include <optional>

namespace quillbox::saving {

// SafeSave::Recover() once the save lock is held (a save holds it already when it recovers first).
// `foreign`, when given, is set to why the record was left alone, empty when it was not.
std::optional<QString> RecoverLocked(const QString& mainTarget, const SafeSave::KeepFiles& keep,
                                     QString* foreign);

} // namespace quillbox::saving

#pragma once
// Where the current user keeps personal documents.

#include <QString>

namespace praatkist::platform {

// The user's documents folder as it is configured right now, with the platform's
// separators; empty when the system does not know one.
QString DocumentsFolder();

} // namespace praatkist::platform

#pragma once
// Where the program keeps its settings file.

#include <QString>

namespace praatkist::platform {

// The settings file for a program at AExecutable: beside it with ".ini" when that
// folder can be written (and is no system program folder), otherwise the same file name
// in the user's configuration folder, which then starts from a copy of the file beside
// the program when there is one.
QString SettingsFilePath(const QString &AExecutable);

// SettingsFilePath of the running program.
QString DefaultSettingsPath();

} // namespace praatkist::platform

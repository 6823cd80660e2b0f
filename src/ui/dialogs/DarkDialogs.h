#pragma once
// The program's message, confirmation and prompt windows: small modal windows in
// the dark colours, built at run time and answered with TModernButton. Each call
// creates its window, waits until it is closed and destroys it again. Return answers
// with the confirming button ("OK", "Wissen"); Escape and the close box count as
// "Annuleren" (or close the window). Tab goes from the text box to the buttons.

#include <QString>

namespace praatkist::ui {

// An error under the title "Fout", with a red "OK".
void ShowDarkError(const QString &Text);

// A notice under the program's name, with a blue "OK".
void ShowDarkMessage(const QString &Text);

// A question answered with "Wissen" (true; or another Action that cannot be taken
// back) or "Annuleren" (false; also the close box).
bool DarkConfirm(const QString &Text, const QString &Action = QStringLiteral("Wissen"));

// Asks for one line of text. The box starts with Text, all of it selected. On "OK"
// Text receives the box's content as typed (not trimmed, possibly empty) and the
// result is true; otherwise Text is left alone and the result is false.
bool DarkInputQuery(const QString &Caption, const QString &Prompt, QString &Text);

// The general error box: a standard critical message box captioned with the program's
// name (the program's only stock message box), for errors no command handles itself.
void ShowGeneralError(const QString &Text);

} // namespace praatkist::ui

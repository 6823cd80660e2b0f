#pragma once
// The dark window's look where the platform's style would show its own light colours.

class QComboBox;

namespace praatkist::ui {

// The drop-down list of a combo box in the dark palette: fields #282B31, text #E3E5E8,
// the chosen entry on blue #366BA7 in white, disabled entries grey. The closed box
// keeps its look. Call it once per combo box, at any time before the list opens.
void ApplyDarkPopup(QComboBox *ACombo);

} // namespace praatkist::ui

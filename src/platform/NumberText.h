#pragma once
// Numbers as text the way the trim record and the settings file hold them: the general
// decimal form of a double with the user's decimal separator.
//
// Writing uses the separator the caller passes (normally UserDecimalSeparator()).
// Reading accepts both "," and "." as the decimal separator, so a file written under
// one regional setting still reads the same under another: trim amounts never carry
// thousands separators, so the two cannot be confused.

#include <string>
#include <string_view>

namespace praatkist::platform {

// Value in the general decimal form, with at most 15 significant digits (correctly
// rounded), trailing zeros dropped:
//   - 0 (also -0) is "0"; a negative value starts with "-";
//   - from 0.0001 up to below 1E15 (judged after rounding) fixed notation:
//     "1,25", "0,8", "0,0001", "999999999999999";
//   - otherwise exponent form: one digit, the separator and further digits only if
//     any remain, "E", "-" for a negative exponent (never "+"), the exponent without
//     leading zeros: "6,25E-5", "1E15", "1,5E20".
// Not-a-number gives "NAN", infinities "INF" and "-INF"; ParseNumberText rejects these
// texts, so a stored non-finite value reads back as the reader's default.
std::string FormatNumberText(double value, char decimalSeparator);

// Reads a decimal number: blanks (spaces, tabs) around it, an optional sign, digits
// with at most one decimal separator ("," or "."; digits on at least one side of it),
// an optional exponent "E" or "e" with optional sign and at least one digit. Anything
// else gives false and leaves value unchanged; so does a number whose magnitude a double
// cannot hold (overflow, or so small it would become 0; note that the text written for
// the largest doubles, from 1,79769313486232E308 on, is such a number).
// Never depends on the process locale.
bool ParseNumberText(std::string_view text, double &value);

// The decimal separator of the user's regional settings. When that is not a single
// ASCII character (some scripts use their own sign), '.' is used.
char UserDecimalSeparator();

} // namespace praatkist::platform

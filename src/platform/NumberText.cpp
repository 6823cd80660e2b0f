#include "platform/NumberText.h"

#include <QLocale>
#include <QString>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace praatkist::platform {

namespace {

constexpr int kSignificantDigits = 15;

bool IsBlank(char c)
{
  return c == ' ' || c == '\t';
}
bool IsDigit(char c)
{
  return c >= '0' && c <= '9';
}

} // namespace

std::string FormatNumberText(double value, char decimalSeparator)
{
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value < 0 ? "-INF" : "INF";
  if (value == 0)
    return "0";

  // Scientific form with 15 significant digits, correctly rounded and independent of
  // the process locale: "d.dddddddddddddde[+-]xx".
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                       std::chars_format::scientific, kSignificantDigits - 1);
  if (ec != std::errc())
    return "0"; // cannot happen: the buffer holds any double in this form
  const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  const std::size_t ePos = text.find('e');

  std::string digits;
  for (char c : text.substr(0, ePos))
    if (IsDigit(c))
      digits += c;
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();
  const int exponent = std::atoi(std::string(text.substr(ePos + 1)).c_str());

  std::string result = value < 0 ? "-" : "";
  if (exponent >= -4 && exponent < kSignificantDigits) {
    if (exponent < 0) {
      result += '0';
      result += decimalSeparator;
      result.append(static_cast<std::size_t>(-exponent - 1), '0');
      result += digits;
    } else {
      const std::size_t integerDigits = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= integerDigits) {
        result += digits;
        result.append(integerDigits - digits.size(), '0');
      } else {
        result.append(digits, 0, integerDigits);
        result += decimalSeparator;
        result.append(digits, integerDigits);
      }
    }
  } else {
    result += digits[0];
    if (digits.size() > 1) {
      result += decimalSeparator;
      result.append(digits, 1);
    }
    result += 'E';
    result += std::to_string(exponent);
  }
  return result;
}

bool ParseNumberText(std::string_view text, double &value)
{
  std::size_t i = 0, n = text.size();
  while (i < n && IsBlank(text[i]))
    ++i;
  while (n > i && IsBlank(text[n - 1]))
    --n;

  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';

  // Rebuilt with a point as separator and a leading digit, for std::from_chars.
  std::string normal;
  std::size_t mantissaDigits = 0;
  while (i < n && IsDigit(text[i])) {
    normal += text[i++];
    ++mantissaDigits;
  }
  if (normal.empty())
    normal.push_back('0'); // not = "0": GCC 12 warns falsely about that at -O2
  if (i < n && (text[i] == ',' || text[i] == '.')) {
    ++i;
    normal += '.';
    while (i < n && IsDigit(text[i])) {
      normal += text[i++];
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0)
    return false;

  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    normal += 'e';
    if (i < n && (text[i] == '+' || text[i] == '-'))
      normal += text[i++];
    std::size_t exponentDigits = 0;
    while (i < n && IsDigit(text[i])) {
      normal += text[i++];
      ++exponentDigits;
    }
    if (exponentDigits == 0)
      return false;
  }
  if (i != n)
    return false;

  double parsed = 0;
  const auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), parsed);
  if (ec != std::errc() || end != normal.data() + normal.size())
    return false;
  value = negative ? -parsed : parsed;
  return true;
}

char UserDecimalSeparator()
{
  const QString point = QLocale::system().decimalPoint();
  if (point.size() == 1 && point[0].unicode() > 0x20 && point[0].unicode() < 0x7F)
    return static_cast<char>(point[0].unicode());
  return '.';
}

} // namespace praatkist::platform

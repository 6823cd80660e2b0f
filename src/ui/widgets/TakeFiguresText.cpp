#include "ui/widgets/TakeFiguresText.h"

#include "ui/style/Palette.h"

#include <QColor>
#include <QStringList>

#include <cmath>

namespace praatkist::ui {

namespace {

const QString kMinus = QStringLiteral("\u2212");
const QString kDot = QStringLiteral(" \u00B7 ");

QString Number(double AShown, int ADecimals, QChar ASeparator)
{
  if (std::isinf(AShown))
    return AShown < 0 ? kMinus + QStringLiteral("\u221E") : QStringLiteral("\u221E");
  QString text = QString::number(std::fabs(AShown), 'f', ADecimals);
  text.replace(QLatin1Char('.'), ASeparator);
  return AShown < 0 ? kMinus + text : text;
}

QRgb Judged(bool AMeets)
{
  return AMeets ? palette::WindowText : palette::TrimOrange;
}

} // namespace

TFiguresText DescribeFigures(const audio::TTakeFigures &AFigures, QChar ADecimalSeparator)
{
  TFiguresText t;
  if (!AFigures.Measured)
    return t;
  using audio::spoken_word::Shown;
  const double loudness = Shown(AFigures.LoudnessLufs, 1);
  const double rms = Shown(AFigures.RmsDb, 1);
  const double peak = Shown(AFigures.PeakDb, 1);
  const double noise = Shown(AFigures.NoiseFloorDb, 0);

  const audio::spoken_word::TVerdict verdict = audio::spoken_word::Judge(AFigures);
  const bool tooQuiet = verdict.TooQuiet;
  const bool tooLoud = verdict.TooLoud;
  const bool peakHigh = verdict.PeakHigh;
  const bool noisy = verdict.Noisy;
  const bool clipped = verdict.Clipped;

  t.Parts.push_back(
      {Number(loudness, 1, ADecimalSeparator) + QStringLiteral(" LUFS"), palette::WindowText});
  t.Parts.push_back(
      {QStringLiteral("RMS ") + Number(rms, 1, ADecimalSeparator) + QStringLiteral(" dB"),
       Judged(!tooQuiet && !tooLoud)});
  t.Parts.push_back(
      {QStringLiteral("piek ") + Number(peak, 1, ADecimalSeparator) + QStringLiteral(" dB"),
       Judged(!peakHigh)});
  t.Parts.push_back(
      {QStringLiteral("ruisvloer ") + Number(noise, 0, ADecimalSeparator) + QStringLiteral(" dB"),
       Judged(!noisy)});
  if (clipped)
    t.Parts.push_back({QString::number(AFigures.ClippedSamples) +
                           (AFigures.ClippedSamples == 1 ? QStringLiteral(" sample overstuurd")
                                                         : QStringLiteral(" samples overstuurd")),
                       palette::RedAccent});

  QStringList texts;
  for (const TFigurePart &p : t.Parts)
    texts << p.Text;
  t.Line = texts.join(kDot);

  QStringList faults;
  if (tooQuiet)
    faults << QStringLiteral("te zacht");
  if (tooLoud)
    faults << QStringLiteral("te luid");
  if (peakHigh)
    faults << QStringLiteral("piek te hoog");
  if (noisy)
    faults << QStringLiteral("ruis te hoog");
  if (clipped)
    faults << QStringLiteral("oversturing");
  t.Meets = faults.isEmpty();
  t.Spoken = QStringLiteral("Luidheid ") + texts.join(QStringLiteral(", ")) + QStringLiteral(": ") +
             (t.Meets ? QStringLiteral("voldoet aan de richtlijnen voor gesproken woord")
                      : faults.join(QStringLiteral(", "))) +
             QLatin1Char('.');
  return t;
}

QString FiguresHtml(const TFiguresText &AText)
{
  const auto span = [](const QString &AText, QRgb AColour) {
    return QStringLiteral("<span style=\"color:%1\">%2</span>")
        .arg(QColor::fromRgb(AColour).name(), AText.toHtmlEscaped());
  };
  QStringList parts;
  for (const TFigurePart &p : AText.Parts)
    parts << span(p.Text, p.Colour);
  return parts.join(span(kDot, palette::WindowText));
}

} // namespace praatkist::ui

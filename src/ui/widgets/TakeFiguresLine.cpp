#include "ui/widgets/TakeFiguresLine.h"

#include "platform/NumberText.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"

namespace praatkist::ui {

TTakeFiguresLine::TTakeFiguresLine(QWidget *AParent) : QLabel(AParent)
{
  setTextFormat(Qt::RichText);
  setFont(DesignFontPx(SegoeUI, 13));
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QPalette p = palette();
  p.setColor(QPalette::WindowText, palette::Colour(palette::WindowText));
  setPalette(p);
  setAccessibleName(QStringLiteral("Meetwaarden van de opname"));
}

void TTakeFiguresLine::ShowFigures(const audio::TTakeFigures &AFigures)
{
  FText = DescribeFigures(AFigures, QLatin1Char(platform::UserDecimalSeparator()));
  setText(FiguresHtml(FText));
  setAccessibleDescription(FText.Spoken);
}

void TTakeFiguresLine::Clear()
{
  ShowFigures(audio::TTakeFigures{});
}

} // namespace praatkist::ui

#include "ui/window/SpeakerWindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

#include <algorithm>

#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"
#include "ui/widgets/TextFit.h"

namespace praatkist::ui {

namespace {

void SetColour(QLabel *ALabel, QRgb AColour)
{
  QPalette pal = ALabel->palette();
  pal.setColor(QPalette::WindowText, palette::Colour(AColour));
  ALabel->setPalette(pal);
}

QLabel *MakeLine(QWidget *AOwner, const QString &AName, QRgb AColour, Qt::Alignment AAlign)
{
  auto *label = new QLabel(AOwner);
  label->setObjectName(AName);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(AAlign);
  SetColour(label, AColour);
  return label;
}

} // namespace

TSpeakerWindow::TSpeakerWindow()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      FPlace(MakeLine(this, QStringLiteral("lblSpeakerPlace"), palette::WindowText,
                      Qt::AlignLeft | Qt::AlignVCenter)),
      FLamp(MakeLine(this, QStringLiteral("lblSpeakerLamp"), palette::RedAccent,
                     Qt::AlignRight | Qt::AlignVCenter)),
      FClock(MakeLine(this, QStringLiteral("lblSpeakerClock"), palette::ClockYellow,
                      Qt::AlignRight | Qt::AlignVCenter)),
      FText(MakeLine(this, QStringLiteral("lblSpeakerText"), palette::DialogText, Qt::AlignCenter))
{
  setObjectName(QStringLiteral("frmSpeaker"));
  setWindowTitle(QStringLiteral("Praatkist: tekst voor de spreker"));
  setAccessibleName(QStringLiteral("Tekst voor de spreker"));
  // It neither keeps the program running nor takes the keyboard when it appears.
  setAttribute(Qt::WA_QuitOnClose, false);
  setAttribute(Qt::WA_ShowWithoutActivating, true);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, palette::Colour(palette::Background));
  pal.setColor(QPalette::WindowText, palette::Colour(palette::DialogText));
  setPalette(pal);
  FText->setWordWrap(true);
  FText->setFont(DesignFontPt(SegoeUI, LargestPt));
  FClock->setFont(DesignFontPx(Consolas, 32, true));
  FLamp->setFont(DesignFontPx(SegoeUI, 32, true));
  FPlace->setFont(DesignFontPx(SegoeUI, 32));
  FLamp->hide();
  FClock->hide();
}

void TSpeakerWindow::ShowOn(QScreen *AScreen)
{
  if (AScreen == nullptr)
    return;
  if (isVisible() && screen() == AScreen && geometry() == AScreen->geometry())
    return;
  // A full-screen window goes to another screen by being shown there anew.
  hide();
  setScreen(AScreen);
  setGeometry(AScreen->geometry());
  showFullScreen();
}

void TSpeakerWindow::ShowItem(int AIndex, int ACount, const QString &AId, const QString &AText)
{
  FPlace->setText(QStringLiteral("%1 \u00B7 %2 / %3").arg(AId).arg(AIndex + 1).arg(ACount));
  FText->setText(AText);
  FText->setAccessibleName(AText);
  Place();
}

void TSpeakerWindow::ShowLamp(TSpeakerLamp ALamp)
{
  FLampShown = ALamp;
  switch (ALamp) {
  case TSpeakerLamp::Recording:
    FLamp->setText(QStringLiteral("\u25CF OPNAME"));
    SetColour(FLamp, palette::RedAccent);
    break;
  case TSpeakerLamp::Paused:
    FLamp->setText(QStringLiteral("\u275A\u275A PAUZE"));
    SetColour(FLamp, palette::TrimOrange);
    break;
  case TSpeakerLamp::Listening:
    FLamp->setText(QStringLiteral("Luistert"));
    SetColour(FLamp, palette::WindowText);
    break;
  case TSpeakerLamp::Off:
    FLamp->clear();
    break;
  }
  FLamp->setVisible(ALamp != TSpeakerLamp::Off);
  FClock->setVisible(ALamp == TSpeakerLamp::Recording || ALamp == TSpeakerLamp::Paused);
  FLamp->setAccessibleName(FLamp->text());
}

void TSpeakerWindow::ShowClock(const QString &AText)
{
  FClock->setText(AText);
}

QString TSpeakerWindow::PlaceText() const
{
  return FPlace->text();
}

QString TSpeakerWindow::ItemText() const
{
  return FText->text();
}

QString TSpeakerWindow::LampText() const
{
  return FLamp->isVisibleTo(this) ? FLamp->text() : QString();
}

QString TSpeakerWindow::ClockText() const
{
  return FClock->isVisibleTo(this) ? FClock->text() : QString();
}

int TSpeakerWindow::TextPointSize() const
{
  return FText->font().pointSize();
}

void TSpeakerWindow::resizeEvent(QResizeEvent *AEvent)
{
  QWidget::resizeEvent(AEvent);
  Place();
}

void TSpeakerWindow::keyPressEvent(QKeyEvent *AEvent)
{
  if (ForwardKey && ForwardKey(*AEvent)) {
    AEvent->accept();
    return;
  }
  QWidget::keyPressEvent(AEvent);
}

void TSpeakerWindow::Place()
{
  // The lines above the text grow with the screen: a 1080-line screen has lines of 38
  // pixels and margins of 45.
  const int margin = std::max(16, height() / 24);
  const int linePx = std::max(16, height() / 28);
  for (QLabel *line : {FPlace, FLamp}) {
    QFont font = line->font();
    font.setPixelSize(linePx);
    line->setFont(font);
  }
  QFont clockFont = FClock->font();
  clockFont.setPixelSize(linePx);
  FClock->setFont(clockFont);
  const int lineHeight = FPlace->fontMetrics().height();
  const int inner = std::max(0, width() - 2 * margin);
  const int clockWidth = FClock->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00"));
  const int lampWidth = FLamp->fontMetrics().horizontalAdvance(QStringLiteral("\u25CF OPNAME "));
  FClock->setGeometry(width() - margin - clockWidth, margin, clockWidth, lineHeight);
  FLamp->setGeometry(FClock->x() - lampWidth - margin / 2, margin, lampWidth, lineHeight);
  FPlace->setGeometry(margin, margin, std::max(0, FLamp->x() - 2 * margin), lineHeight);
  const int top = margin + lineHeight + margin;
  FText->setGeometry(margin, top, inner, std::max(0, height() - top - margin));
  QFont font = FText->font();
  font.setPointSize(
      FittingPointSize(FText->text(), font, FText->size(), SmallestPt, LargestPt, this));
  if (font != FText->font())
    FText->setFont(font);
}

} // namespace praatkist::ui

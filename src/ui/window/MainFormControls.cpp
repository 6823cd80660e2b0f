#include "ui/window/MainFormControls.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QListView>
#include <QScrollArea>
#include <QVBoxLayout>

#include <utility>

#include "audio/TakeFormat.h"
#include "ui/widgets/ClickLabel.h"
#include "ui/style/DarkStyle.h"
#include "ui/style/Fonts.h"
#include "ui/widgets/LevelMeterWidget.h"
#include "ui/style/Palette.h"
#include "ui/widgets/PanelButton.h"
#include "ui/widgets/WaveformWidget.h"

namespace praatkist::ui {

namespace {

QString FromUtf8(const char *AText)
{
  return QString::fromUtf8(AText);
}

void SetTextColour(QWidget *AWidget, QRgb AColour)
{
  QPalette pal = AWidget->palette();
  pal.setColor(QPalette::WindowText, QColor::fromRgb(AColour));
  AWidget->setPalette(pal);
}

QLabel *MakeLabel(QWidget *AOwner, const QString &AName, int ALeft, int ATop, const QString &AText)
{
  auto *label = new QLabel(AOwner);
  label->setObjectName(AName);
  label->setTextFormat(Qt::PlainText);
  label->setText(AText);
  label->move(ALeft, ATop);
  label->adjustSize();
  return label;
}

// Each entry's text with the value it stands for.
using TEntries = std::initializer_list<std::pair<const char *, int>>;

// A heading sized to its text in the font it is drawn in: the window's font and style
// reach it only once the page lies in the window (and a style may change the font again
// when it polishes the label), so it sizes itself again whenever they change.
class THeading : public QLabel {
public:
  using QLabel::QLabel;

protected:
  bool event(QEvent *AEvent) override
  {
    const bool done = QLabel::event(AEvent);
    const QEvent::Type type = AEvent->type();
    if (type == QEvent::FontChange || type == QEvent::StyleChange || type == QEvent::Polish)
      adjustSize();
    return done;
  }
};

QLabel *MakeHeading(QWidget *AOwner, const QString &AName, int ALeft, int ATop,
                    const QString &AText)
{
  auto *label = new THeading(AOwner);
  label->setObjectName(AName);
  label->setTextFormat(Qt::PlainText);
  label->setText(AText);
  label->move(ALeft, ATop);
  label->adjustSize();
  return label;
}

QComboBox *MakeCombo(QWidget *AOwner, const QString &AName, int ALeft, int ATop, int AWidth,
                     TEntries AEntries)
{
  auto *combo = new QComboBox(AOwner);
  combo->setObjectName(AName);
  combo->setEditable(false);
  combo->setGeometry(ALeft, ATop, AWidth, 25);
  for (const auto &[text, value] : AEntries)
    combo->addItem(QString::fromUtf8(text), value);
  ApplyDarkPopup(combo);
  return combo;
}

QCheckBox *MakeCheck(QWidget *AOwner, const QString &AName, int ALeft, int ATop,
                     const QString &ACaption, const QString &AHint)
{
  auto *check = new QCheckBox(ACaption, AOwner);
  check->setObjectName(AName);
  check->setGeometry(ALeft, ATop, 145, 25);
  check->setToolTip(AHint);
  check->setChecked(false);
  return check;
}

struct TPanelSpec {
  const char *Name; // "Record": btnRecord, lblIconRecord, lblTextRecord
  QRect Box;
  QRgb Colour;
  const char *Glyph;
  QRect GlyphBox;
  int GlyphPx;
  const char *Text;
  QRect TextBox;
};

TPanelButton *MakePanel(QWidget *AOwner, const TPanelSpec &ASpec)
{
  const QString name = QString::fromLatin1(ASpec.Name);
  auto *panel = new TPanelButton(AOwner);
  panel->setObjectName(QStringLiteral("btn") + name);
  panel->setGeometry(ASpec.Box);
  QPalette pal = panel->palette();
  // One colour for every state: a disabled button looks the same.
  pal.setColor(QPalette::Window, QColor::fromRgb(ASpec.Colour));
  pal.setColor(QPalette::WindowText, Qt::white);
  panel->setPalette(pal);
  panel->setFont(DesignFontPx(SegoeUI, 13, true));

  TClickLabel *icon = panel->Icon;
  icon->setObjectName(QStringLiteral("lblIcon") + name);
  icon->setGeometry(ASpec.GlyphBox);
  icon->setFont(DesignFontPx(SegoeUI, ASpec.GlyphPx, true));
  icon->setText(FromUtf8(ASpec.Glyph));

  TClickLabel *text = panel->Text;
  text->setObjectName(QStringLiteral("lblText") + name);
  text->setGeometry(ASpec.TextBox);
  text->setFont(DesignFontPx(SegoeUI, 13, true));
  text->setText(FromUtf8(ASpec.Text));
  return panel;
}

} // namespace

void TMainFormControls::SetupControls(QWidget *AForm)
{
  AForm->setObjectName(QStringLiteral("frmMain"));
  AForm->setWindowTitle(QStringLiteral("Praatkist"));
  AForm->setFixedSize(PageSize);
  AForm->setFont(DesignFontPx(SegoeUI, 13));
  AForm->setAutoFillBackground(true);
  {
    QPalette pal = AForm->palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(palette::Background));
    pal.setColor(QPalette::WindowText, QColor::fromRgb(palette::WindowText));
    pal.setColor(QPalette::Base, QColor::fromRgb(palette::FieldBackground));
    pal.setColor(QPalette::AlternateBase, QColor::fromRgb(palette::FieldBackground));
    pal.setColor(QPalette::Button, QColor::fromRgb(palette::FieldBackground));
    pal.setColor(QPalette::Text, QColor::fromRgb(palette::WindowText));
    pal.setColor(QPalette::ButtonText, QColor::fromRgb(palette::WindowText));
    pal.setColor(QPalette::ToolTipBase, QColor::fromRgb(palette::FieldBackground));
    pal.setColor(QPalette::ToolTipText, QColor::fromRgb(palette::WindowText));
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor::fromRgb(palette::DisabledText));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor::fromRgb(palette::DisabledText));
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor::fromRgb(palette::DisabledText));
    AForm->setPalette(pal);
  }

  // Everything lies on one page of the design's size; where the screen is smaller the
  // window shows it in a scroll area.
  scrMain = new QScrollArea(AForm);
  scrMain->setObjectName(QStringLiteral("scrMain"));
  scrMain->setFrameShape(QFrame::NoFrame);
  scrMain->setFocusPolicy(Qt::NoFocus);
  scrMain->setBackgroundRole(QPalette::Window);
  scrMain->viewport()->setBackgroundRole(QPalette::Window);
  content = new QWidget;
  content->setObjectName(QStringLiteral("frmContent"));
  content->setFixedSize(PageSize);
  content->setBackgroundRole(QPalette::Window);
  content->setAutoFillBackground(true);
  auto *layout = new QVBoxLayout(AForm);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(scrMain);

  MakeHeading(content, QStringLiteral("lblHeadingRoot"), 28, 22, QStringLiteral("Hoofdmap"));
  QLabel *headingSession =
      MakeHeading(content, QStringLiteral("lblHeadingSession"), 28, 76, QStringLiteral("Sessie"));
  QLabel *headingDevice = MakeHeading(content, QStringLiteral("lblHeadingDevice"), 28, 136,
                                      QStringLiteral("Audio-ingang"));
  QLabel *headingFormat =
      MakeHeading(content, QStringLiteral("lblHeadingFormat"), 28, 181, QStringLiteral("Formaat"));
  QLabel *headingRate = MakeHeading(content, QStringLiteral("lblHeadingRate"), 280, 181,
                                    QStringLiteral("Samplerate"));
  QLabel *headingBitrate = MakeHeading(content, QStringLiteral("lblHeadingBitrate"), 530, 181,
                                       QStringLiteral("Bitrate"));
  lblHeadingLevel =
      MakeHeading(content, QStringLiteral("lblHeadingLevel"), 28, 305, LevelHeadingTake);
  QLabel *headingRecordings = MakeHeading(content, QStringLiteral("lblHeadingRecordings"), 670, 235,
                                          QStringLiteral("Opnames voor deze sessie"));

  lblRoot = MakeLabel(content, QStringLiteral("lblRoot"), 130, 22, QStringLiteral("Opnamemap"));
  lblRoot->setFixedSize(420, 20);

  lblTime = MakeLabel(content, QStringLiteral("lblTime"), 210, 390, QStringLiteral("00:00"));
  lblTime->setFixedSize(245, 42);
  lblTime->setFont(DesignFontPx(Consolas, 33, true));
  lblTime->setAlignment(Qt::AlignCenter);
  SetTextColour(lblTime, palette::ClockYellow);

  lblHeadingWave = MakeHeading(content, QStringLiteral("lblHeadingWave"), 28, 445,
                               QStringLiteral("LIVE WAVEFORM"));
  lblHeadingWave->hide();

  lblTrimInfo = MakeLabel(content, QStringLiteral("lblTrimInfo"), 170, 445, QString());
  lblTrimInfo->setFixedSize(468, 17);
  lblTrimInfo->setFont(DesignFontPx(SegoeUI, 13, true));
  lblTrimInfo->setAlignment(Qt::AlignRight | Qt::AlignTop);
  SetTextColour(lblTrimInfo, palette::TrimOrange);
  lblTrimInfo->hide();

  lblStatus = MakeLabel(content, QStringLiteral("lblStatus"), 28, 690,
                        QStringLiteral("Audio initialiseren..."));
  lblStatus->setFixedSize(755, 20);

  lblClip = MakeLabel(content, QStringLiteral("lblClip"), 508, 305, QStringLiteral("OVERSTUURD"));
  lblClip->setFixedSize(130, 20);
  lblClip->setFont(DesignFontPx(SegoeUI, 13, true));
  lblClip->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  SetTextColour(lblClip, palette::RedAccent);
  lblClip->hide();

  vu = new TLevelMeterWidget(content);
  vu->setObjectName(QStringLiteral("vu"));
  vu->setGeometry(28, 330, 610, 50);

  wave = new TWaveformWidget(content);
  wave->setObjectName(QStringLiteral("wave"));
  wave->setGeometry(28, 475, 610, 180);

  // Between the waveform and the status line: whether the shown take is usable.
  lblFigures = new TTakeFiguresLine(content);
  lblFigures->setObjectName(QStringLiteral("lblFigures"));
  lblFigures->setGeometry(28, 661, 610, 22);

  cbSession = MakeCombo(content, QStringLiteral("cbSession"), 130, 70, 420, {});
  cbDevice = MakeCombo(content, QStringLiteral("cbDevice"), 130, 130, 610, {});
  cbFormat = MakeCombo(content, QStringLiteral("cbFormat"), 130, 175, 120,
                       {{"WAV", rfWave}, {"MP3", rfMP3}});
  cbRate = MakeCombo(content, QStringLiteral("cbRate"), 375, 175, 120,
                     {{"44100", 44100}, {"48000", 48000}, {"96000", 96000}});
  cbBitrate =
      MakeCombo(content, QStringLiteral("cbBitrate"), 600, 175, 140,
                {{"128 kbps", 128}, {"192 kbps", 192}, {"256 kbps", 256}, {"320 kbps", 320}});
  cbSession->setCurrentIndex(-1);
  cbFormat->setCurrentIndex(0);
  cbRate->setCurrentIndex(1);
  cbBitrate->setCurrentIndex(1);
  cbBitrate->setEnabled(false);

  chkTrimSilence = MakeCheck(
      content, QStringLiteral("chkTrimSilence"), 760, 120, QStringLiteral("Stiltes trimmen"),
      QStringLiteral("Verwijder automatisch stilte aan begin en einde na de opname"));
  chkMono =
      MakeCheck(content, QStringLiteral("chkMono"), 760, 175, QStringLiteral("Opnemen in mono"),
                QStringLiteral("Neem met één audiokanaal op in plaats van stereo"));
  chkPreRoll =
      MakeCheck(content, QStringLiteral("chkPreRoll"), 760, 205, QStringLiteral("Vooropname"),
                QStringLiteral(
                    "Houdt de audio-ingang open tussen opnames: de meter toont het niveau al "
                    "vóór de opname, en een opname begint met wat er net vóór de klik binnenkwam (Alt+V)"));

  lbRecordings = new QListView(content);
  lbRecordings->setObjectName(QStringLiteral("lbRecordings"));
  lbRecordings->setGeometry(670, 265, 225, 320);
  lbRecordings->setSelectionMode(QAbstractItemView::SingleSelection);
  lbRecordings->setUniformItemSizes(true);

  btnRoot = MakePanel(content, {"Root",
                                {570, 15, 170, 38},
                                palette::GreyAccent,
                                "⇨",
                                {10, 4, 32, 30},
                                24,
                                "KIES MAP",
                                {46, 0, 116, 38}});
  btnNew = MakePanel(content, {"New",
                               {570, 65, 170, 38},
                               palette::GreyAccent,
                               "+",
                               {10, 4, 32, 30},
                               24,
                               "NIEUWE SESSIE",
                               {46, 0, 116, 38}});
  btnAbout = MakePanel(content, {"About",
                                 {760, 15, 135, 38},
                                 palette::GreyAccent,
                                 "ⓘ",
                                 {8, 4, 32, 30},
                                 23,
                                 "OVER",
                                 {40, 0, 87, 38}});
  btnExit = MakePanel(content, {"Exit",
                                {760, 65, 135, 38},
                                palette::RedAccent,
                                "✕",
                                {8, 4, 32, 30},
                                22,
                                "AFSLUITEN",
                                {40, 0, 87, 38}});
  btnRecord = MakePanel(content, {"Record",
                                  {28, 235, 235, 38},
                                  palette::RedAccent,
                                  "●",
                                  {12, 3, 34, 31},
                                  25,
                                  "OPNAME STARTEN",
                                  {50, 0, 177, 38}});
  btnStop = MakePanel(content, {"Stop",
                                {280, 235, 160, 38},
                                palette::GreyAccent,
                                "■",
                                {10, 4, 32, 30},
                                22,
                                "STOPPEN",
                                {44, 0, 108, 38}});
  btnListen = MakePanel(content, {"Listen",
                                  {457, 235, 190, 38},
                                  palette::BlueAccent,
                                  "▶",
                                  {10, 4, 32, 30},
                                  23,
                                  "BELUISTEREN",
                                  {46, 0, 136, 38}});
  btnDelete = MakePanel(content, {"Delete",
                                  {670, 595, 225, 38},
                                  palette::RedAccent,
                                  "✕",
                                  {12, 4, 32, 30},
                                  22,
                                  "OPNAME WISSEN",
                                  {48, 0, 169, 38}});
  btnUndoTrim = MakePanel(content, {"UndoTrim",
                                    {670, 645, 225, 38},
                                    palette::GreyAccent,
                                    "↺",
                                    {12, 4, 32, 30},
                                    22,
                                    "TRIM ONGEDAAN MAKEN",
                                    {48, 0, 169, 38}});
  // Small, at the status line's end, under the take list's buttons.
  btnKeys = MakePanel(content, {"Keys",
                                {795, 687, 100, 22},
                                palette::GreyAccent,
                                "\u2328",
                                {7, 0, 20, 22},
                                15,
                                "TOETSEN",
                                {29, 0, 69, 22}});
  btnKeys->setAccessibleName(QStringLiteral("Toetsen kiezen"));
  // The text column, right of everything else: the text, its keys, the options a row
  // each (with room beside "Na opname volgende tekst" and a row free below them) and
  // the list's buttons, level with the take list's.
  constexpr int column = 912;
  constexpr int columnWidth = 320;
  lblHeadingText = MakeHeading(content, QStringLiteral("lblHeadingText"), column, 22,
                               QStringLiteral("Tekst voor de opname"));
  pnlText = new TTextItemPanel(content);
  pnlText->setGeometry(column, 48, columnWidth, 400);
  lblTextKeys = MakeLabel(
      content, QStringLiteral("lblTextKeys"), column, 454,
      QStringLiteral("Ctrl+\u2192 volgende \u00B7 Ctrl+\u2190 vorige \u00B7 Ctrl+K kiezen\n"
                     "Ctrl+\u2193 volgende zonder keuze \u00B7 Ctrl+O overzicht\n"
                     "Ctrl+Shift+R opnieuw"));
  lblTextKeys->setFixedSize(columnWidth, 52);
  lblTextKeys->setWordWrap(true);
  lblTextKeys->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblTextKeys->setFont(DesignFontPx(SegoeUI, 12));
  SetTextColour(lblTextKeys, palette::DisabledGrey);
  chkNextAfterTake = MakeCheck(
      content, QStringLiteral("chkNextAfterTake"), column, 508,
      QStringLiteral("Na opname volgende tekst"),
      QStringLiteral("Gaat na elke opname van de tekst (gestopt en getrimd) naar de volgende "
                     "tekst (Alt+T)"));
  chkNextAfterTake->setFixedWidth(190);
  chkNextAfterTake->setAccessibleName(chkNextAfterTake->text());
  chkSpeakerScreen = MakeCheck(content, QStringLiteral("chkSpeakerScreen"), column, 535,
                               QStringLiteral("Tekst op t&weede scherm"), QString());
  chkSpeakerScreen->setFixedWidth(columnWidth);
  chkSpeakerScreen->setAccessibleName(QStringLiteral("Tekst op tweede scherm"));
  chkHandsFree = MakeCheck(
      content, QStringLiteral("chkHandsFree"), column + 196, 508, QStringLiteral("Handsfree"),
      QStringLiteral("Neemt op zodra u spreekt en stopt als u zwijgt; daarna volgt de "
                     "volgende tekst (Alt+H, Escape stopt)"));
  chkHandsFree->setFixedWidth(columnWidth - 196);
  chkHandsFree->setAccessibleName(QStringLiteral("Handsfree"));
  lblHandsFree =
      MakeLabel(content, QStringLiteral("lblHandsFree"), column + columnWidth - 100, 20, QString());
  lblHandsFree->setFixedSize(100, 22);
  lblHandsFree->setAlignment(Qt::AlignCenter);
  lblHandsFree->setFont(DesignFontPx(SegoeUI, 13, true));
  lblHandsFree->setAccessibleName(QStringLiteral("Handsfree uit"));
  lblHandsFree->hide();
  btnExport = MakePanel(content, {"Export",
                                  {column, 595, columnWidth, 38},
                                  palette::BlueAccent,
                                  "\u21E9",
                                  {12, 4, 32, 30},
                                  22,
                                  "EXPORTEREN",
                                  {48, 0, columnWidth - 56, 38}});
  btnLoadList = MakePanel(content, {"LoadList",
                                    {column, 645, 186, 38},
                                    palette::GreyAccent,
                                    "\u2630",
                                    {8, 4, 30, 30},
                                    20,
                                    "TEKSTLIJST LADEN",
                                    {38, 0, 144, 38}});
  btnOverview = MakePanel(content, {"Overview",
                                    {column + 194, 645, columnWidth - 194, 38},
                                    palette::GreyAccent,
                                    "\u25A4",
                                    {6, 4, 28, 30},
                                    20,
                                    "OVERZICHT",
                                    {32, 0, columnWidth - 194 - 36, 38}});
  ShowTextColumn(false);

  btnStop->setEnabled(false);
  btnListen->setEnabled(false);
  btnDelete->setEnabled(false);
  btnUndoTrim->setEnabled(false);

  // Each list and box is named by the heading beside it.
  for (const auto &[heading, control] :
       std::initializer_list<std::pair<QLabel *, QWidget *>>{{headingSession, cbSession},
                                                             {headingDevice, cbDevice},
                                                             {headingFormat, cbFormat},
                                                             {headingRate, cbRate},
                                                             {headingBitrate, cbBitrate},
                                                             {lblHeadingLevel, vu},
                                                             {headingRecordings, lbRecordings}}) {
    heading->setBuddy(control);
    control->setAccessibleName(heading->text());
  }
  for (QCheckBox *check : {chkTrimSilence, chkMono, chkPreRoll})
    check->setAccessibleName(check->text());
  scrMain->setWidget(content);

  QWidget::setTabOrder(cbSession, cbDevice);
  QWidget::setTabOrder(cbDevice, cbFormat);
  QWidget::setTabOrder(cbFormat, cbRate);
  QWidget::setTabOrder(cbRate, cbBitrate);
  QWidget::setTabOrder(cbBitrate, lbRecordings);
  QWidget::setTabOrder(lbRecordings, chkTrimSilence);
  QWidget::setTabOrder(chkTrimSilence, chkMono);
  QWidget::setTabOrder(chkMono, chkPreRoll);
  QWidget::setTabOrder(chkPreRoll, chkNextAfterTake);
  QWidget::setTabOrder(chkNextAfterTake, chkHandsFree);
  QWidget::setTabOrder(chkHandsFree, chkSpeakerScreen);
}

void TMainFormControls::ShowTextColumn(bool AShow) const
{
  content->setFixedSize(AShow ? TextPageSize : PageSize);
  for (QWidget *part : std::initializer_list<QWidget *>{lblHeadingText, pnlText, lblTextKeys,
                                                        chkNextAfterTake, chkHandsFree, chkSpeakerScreen,
                                                        btnExport, btnLoadList, btnOverview})
    part->setVisible(AShow);
  if (!AShow)
    lblHandsFree->hide(); // hands-free ends with the list
}

} // namespace praatkist::ui

#include "ui/window/CommandKeys.h"

#include <QKeyEvent>

#include <string>

#include "platform/IniFile.h"

namespace praatkist::ui {

namespace {

constexpr const char *SecKeys = "Toetsen";
constexpr const char *Absent = "\x01";

using C = TCommand;

constexpr std::array<TCommandInfo, kCommandCount> kTable{{
    {C::Record, "Opname", "Opname starten, pauzeren of hervatten", Qt::CTRL | Qt::Key_R},
    {C::Stop, "Stoppen", "Stoppen", Qt::CTRL | Qt::Key_S},
    {C::Listen, "Afspelen", "Beluisteren", Qt::CTRL | Qt::Key_P},
    {C::Next, "Volgende", "Volgende tekst", Qt::CTRL | Qt::Key_Right},
    {C::Previous, "Vorige", "Vorige tekst", Qt::CTRL | Qt::Key_Left},
    {C::NextWithoutChoice, "VolgendeZonderKeuze", "Volgende tekst zonder gekozen opname",
     Qt::CTRL | Qt::Key_Down},
    {C::Retake, "Overnieuw", "Opname afkeuren en opnieuw opnemen",
     Qt::CTRL | Qt::SHIFT | Qt::Key_R},
    {C::Choose, "Kiezen", "Opname kiezen voor de tekst", Qt::CTRL | Qt::Key_K},
    {C::Mark, "Markering", "Markering zetten", Qt::CTRL | Qt::Key_M},
    {C::HandsFree, "Handsfree", "Handsfree aan of uit", Qt::ALT | Qt::Key_H},
    {C::Pause, "Pauze", "Opname pauzeren of hervatten", QKeyCombination(Qt::Key_Pause)},
    {C::Delete, "Wissen", "Opname wissen (in de lijst met opnames)",
     QKeyCombination(Qt::Key_Delete)},
    {C::UndoTrim, "TrimOngedaan", "Trim ongedaan maken", Qt::CTRL | Qt::Key_Z},
    {C::NewSession, "NieuweSessie", "Nieuwe sessie", Qt::CTRL | Qt::Key_N},
    {C::About, "Over", "Over Praatkist", QKeyCombination(Qt::Key_F1)},
    {C::Exit, "Afsluiten", "Afsluiten", Qt::CTRL | Qt::Key_Q},
    {C::LoadList, "TekstlijstLaden", "Tekstlijst laden", Qt::CTRL | Qt::Key_T},
    {C::Export, "Exporteren", "Exporteren", Qt::CTRL | Qt::Key_E},
    {C::Overview, "Overzicht", "Overzicht", Qt::CTRL | Qt::Key_O},
    {C::Root, "Hoofdmap", "Hoofdmap kiezen", Qt::CTRL | Qt::SHIFT | Qt::Key_O},
    {C::PreRoll, "Vooropname", "Vooropname aan of uit", Qt::ALT | Qt::Key_V},
    {C::NextAfterTake, "NaOpnameVolgendeTekst", "Na opname volgende tekst aan of uit",
     Qt::ALT | Qt::Key_T},
    {C::NextMarker, "VolgendeMarkering", "Afspelen vanaf de volgende markering",
     Qt::ALT | Qt::Key_Right},
    {C::PreviousMarker, "VorigeMarkering", "Afspelen vanaf de vorige markering",
     Qt::ALT | Qt::Key_Left},
    {C::Keys, "Toetsen", "Toetsen kiezen", Qt::CTRL | Qt::Key_Comma},
}};

// The table is in the order of the enum: a command's entry is found by its number.
constexpr bool InEnumOrder()
{
  for (std::size_t i = 0; i < kTable.size(); ++i)
    if (static_cast<std::size_t>(kTable[i].Command) != i)
      return false;
  return true;
}
static_assert(InEnumOrder());

// The line's key, or none where it cannot be read.
std::optional<QKeySequence> ReadKey(const platform::TIniFile &AIni, const char *AName)
{
  const std::string text = AIni.ReadString(SecKeys, AName, Absent);
  if (text == Absent || text.empty())
    return std::nullopt;
  const QKeySequence key =
      QKeySequence::fromString(QString::fromStdString(text), QKeySequence::PortableText);
  if (!UsableKey(key))
    return std::nullopt;
  return key;
}

} // namespace

const std::array<TCommandInfo, kCommandCount> &CommandTable()
{
  return kTable;
}

const TCommandInfo &CommandInfo(TCommand ACommand)
{
  return kTable[static_cast<std::size_t>(ACommand)];
}

QString CommandLabel(TCommand ACommand)
{
  return QString::fromUtf8(CommandInfo(ACommand).Label);
}

QString ShortKeyText(const QKeySequence &AKey)
{
  if (AKey.isEmpty())
    return QString();
  const QKeyCombination chord = AKey[0];
  const char16_t *arrow = nullptr;
  switch (chord.key()) {
  case Qt::Key_Left:
    arrow = u"\u2190";
    break;
  case Qt::Key_Right:
    arrow = u"\u2192";
    break;
  case Qt::Key_Up:
    arrow = u"\u2191";
    break;
  case Qt::Key_Down:
    arrow = u"\u2193";
    break;
  default:
    return AKey.toString(QKeySequence::NativeText);
  }
  // the modifiers in the system's words, then the arrow
  QString modifiers;
  if (chord.keyboardModifiers() != Qt::NoModifier) {
    modifiers = QKeySequence(QKeyCombination(chord.keyboardModifiers(), Qt::Key_A))
                    .toString(QKeySequence::NativeText);
    modifiers.chop(1);
  }
  return modifiers + QString::fromUtf16(arrow);
}

bool UsableKey(const QKeySequence &AKey)
{
  if (AKey.count() != 1)
    return false;
  if (static_cast<int>(AKey[0].key()) == 0)
    return false;
  switch (AKey[0].key()) {
  case Qt::Key_unknown:
  case Qt::Key_Control:
  case Qt::Key_Shift:
  case Qt::Key_Alt:
  case Qt::Key_AltGr:
  case Qt::Key_Meta:
  case Qt::Key_Super_L:
  case Qt::Key_Super_R:
  case Qt::Key_Hyper_L:
  case Qt::Key_Hyper_R:
    return false;
  default:
    return true;
  }
}

QKeySequence KeyOf(const QKeyEvent &AEvent)
{
  const Qt::KeyboardModifiers modifiers =
      AEvent.modifiers() &
      (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(AEvent.key())));
}

bool PressesKey(const QKeyEvent &AEvent, const QKeySequence &AKey)
{
  return !AKey.isEmpty() && KeyOf(AEvent) == AKey;
}

TCommandKeys::TCommandKeys()
{
  for (const TCommandInfo &info : kTable)
    FKeys[Index(info.Command)] = QKeySequence(info.Default);
}

std::optional<TCommand> TCommandKeys::Holder(const QKeySequence &AKey) const
{
  for (std::size_t i = 0; i < FKeys.size(); ++i)
    if (FKeys[i] == AKey)
      return static_cast<TCommand>(i);
  return std::nullopt;
}

std::optional<TCommandKeys> TCommandKeys::Of(const std::vector<QKeySequence> &AKeys)
{
  if (AKeys.size() != kCommandCount)
    return std::nullopt;
  TCommandKeys keys;
  for (std::size_t i = 0; i < kCommandCount; ++i) {
    if (!UsableKey(AKeys[i]))
      return std::nullopt;
    for (std::size_t j = 0; j < i; ++j)
      if (AKeys[j] == AKeys[i])
        return std::nullopt;
    keys.FKeys[i] = AKeys[i];
  }
  return keys;
}

bool TCommandKeys::IsDefault(TCommand ACommand) const
{
  return Key(ACommand) == QKeySequence(CommandInfo(ACommand).Default);
}

TCommandKeys TCommandKeys::Load(const platform::TIniFile &AIni)
{
  std::array<std::optional<QKeySequence>, kCommandCount> read;
  for (const TCommandInfo &info : kTable)
    read[Index(info.Command)] = ReadKey(AIni, info.Name);
  // Every line whose key another command has is dropped at once (all the lines sharing
  // one key, too), which brings their own defaults back; those may in turn meet another
  // line's key, so again until none does.
  TCommandKeys keys;
  for (bool dropped = true; dropped;) {
    for (std::size_t i = 0; i < kCommandCount; ++i)
      keys.FKeys[i] = read[i].value_or(QKeySequence(kTable[i].Default));
    std::array<bool, kCommandCount> drop{};
    for (std::size_t i = 0; i < kCommandCount; ++i)
      for (std::size_t j = 0; read[i] && j < kCommandCount; ++j)
        if (j != i && keys.FKeys[j] == keys.FKeys[i])
          drop[i] = true;
    dropped = false;
    for (std::size_t i = 0; i < kCommandCount; ++i)
      if (drop[i]) {
        read[i].reset();
        dropped = true;
      }
  }
  return keys;
}

void TCommandKeys::Write(platform::TIniFile &AIni, QStringList &AWritten,
                         QStringList &ANotKept) const
{
  for (const TCommandInfo &info : kTable) {
    const QKeySequence key = Key(info.Command);
    const std::string text = key.toString(QKeySequence::PortableText).toStdString();
    const std::string stored = AIni.ReadString(SecKeys, info.Name, Absent);
    // A default is written only over another text the file holds for it.
    if (stored == text || (stored == Absent && IsDefault(info.Command)))
      continue;
    try {
      AIni.WriteString(SecKeys, info.Name, text);
      AWritten << QString::fromLatin1(info.Name);
    } catch (const std::exception &) {
      ANotKept << QString::fromLatin1(info.Name);
    }
  }
}

} // namespace praatkist::ui

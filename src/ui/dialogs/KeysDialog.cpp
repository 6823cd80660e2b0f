#include "ui/dialogs/KeysDialog.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTreeWidget>

#include <functional>
#include <utility>

#include "ui/dialogs/DarkDialogs.h"
#include "ui/dialogs/DarkForm.h"
#include "ui/style/Palette.h"
#include "ui/widgets/ModernButton.h"

namespace praatkist::ui {

namespace {

const QString ListeningText = QStringLiteral("Druk op de nieuwe toets...");

QString KeyText(const QKeySequence &AKey)
{
  return AKey.toString(QKeySequence::NativeText);
}

// The field that takes one key. While it listens every key comes to it, Tab and the
// dialog's own keys too: the first key that is not a modifier alone is the new key,
// Escape alone stops it listening. Otherwise it shows the selected command's key.
class TKeyField : public QLineEdit {
public:
  explicit TKeyField(QWidget *AOwner) : QLineEdit(AOwner)
  {
    setReadOnly(true);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
  }

  std::function<void(const QKeySequence &)> OnCaptured;

  void Show(const QKeySequence &AKey)
  {
    FShown = AKey;
    if (!FListening)
      setText(KeyText(AKey));
  }

  void Listen()
  {
    FListening = true;
    setText(ListeningText);
    if (!hasFocus())
      setFocus(Qt::OtherFocusReason);
  }

  bool Listening() const { return FListening; }

protected:
  bool event(QEvent *AEvent) override
  {
    if (FListening && AEvent->type() == QEvent::ShortcutOverride) {
      AEvent->accept(); // no mnemonic, no dialog key: the key is for the field
      return true;
    }
    if (FListening && AEvent->type() == QEvent::KeyPress) {
      Take(static_cast<QKeyEvent *>(AEvent));
      return true;
    }
    return QLineEdit::event(AEvent);
  }

  void keyPressEvent(QKeyEvent *AEvent) override
  {
    if (AEvent->key() == Qt::Key_Space && AEvent->modifiers() == Qt::NoModifier) {
      Listen();
      return;
    }
    QLineEdit::keyPressEvent(AEvent);
  }

  void mousePressEvent(QMouseEvent *AEvent) override
  {
    QLineEdit::mousePressEvent(AEvent);
    Listen();
  }

  void focusInEvent(QFocusEvent *AEvent) override
  {
    QLineEdit::focusInEvent(AEvent);
    // its label's key (Alt+T) means: listen
    if (AEvent->reason() == Qt::ShortcutFocusReason)
      Listen();
  }

  void focusOutEvent(QFocusEvent *AEvent) override
  {
    Stop();
    QLineEdit::focusOutEvent(AEvent);
  }

private:
  void Take(QKeyEvent *AEvent)
  {
    AEvent->accept();
    const int key = AEvent->key();
    if (key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt ||
        key == Qt::Key_AltGr || key == Qt::Key_Meta || key == Qt::Key_Super_L ||
        key == Qt::Key_Super_R || key == Qt::Key_unknown || key == 0)
      return;
    const Qt::KeyboardModifiers modifiers =
        AEvent->modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (key == Qt::Key_Escape && modifiers == Qt::NoModifier) {
      Stop();
      return;
    }
    Stop();
    if (OnCaptured)
      OnCaptured(QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key))));
  }

  void Stop()
  {
    if (!FListening)
      return;
    FListening = false;
    setText(KeyText(FShown));
  }

  QKeySequence FShown;
  bool FListening = false;
};

} // namespace

std::optional<std::vector<QKeySequence>> AskKeys(const std::vector<TKeyChoice> &AChoices)
{
  std::vector<QKeySequence> keys;
  for (const TKeyChoice &choice : AChoices)
    keys.push_back(choice.Key);

  auto form = CreateDarkDialogForm(QStringLiteral("Toetsen"), 520);
  auto *listLabel = new QLabel(QStringLiteral("&Opdrachten en hun toetsen:"), form.get());
  listLabel->setGeometry(DarkLabelLeft, 12, DarkLabelWidth, 24);
  auto *list = new QTreeWidget(form.get());
  list->setObjectName(QStringLiteral("lstKeys"));
  list->setGeometry(DarkLabelLeft, 38, DarkLabelWidth, 330);
  list->setColumnCount(2);
  list->setHeaderLabels({QStringLiteral("Opdracht"), QStringLiteral("Toets")});
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setAllColumnsShowFocus(true);
  list->header()->setStretchLastSection(true);
  list->header()->setSectionsMovable(false);
  list->setColumnWidth(0, 280);
  list->setAccessibleName(QStringLiteral("Opdrachten en hun toetsen"));
  {
    // the header and the scroll bar in the dark too
    QPalette pal = list->palette();
    pal.setColor(QPalette::Button, palette::Colour(palette::GreyAccent));
    pal.setColor(QPalette::ButtonText, palette::Colour(palette::DialogText));
    pal.setColor(QPalette::Window, palette::Colour(palette::Background));
    list->setPalette(pal);
  }
  listLabel->setBuddy(list);
  for (std::size_t i = 0; i < AChoices.size(); ++i)
    new QTreeWidgetItem(list, {AChoices[i].Label, KeyText(keys[i])});

  auto *fieldLabel =
      new QLabel(QStringLiteral("Nieuwe &toets voor de gekozen opdracht:"), form.get());
  fieldLabel->setGeometry(DarkLabelLeft, 380, DarkLabelWidth, 24);
  auto *field = new TKeyField(form.get());
  field->setObjectName(QStringLiteral("edtKey"));
  field->setGeometry(DarkLabelLeft, 406, DarkLabelWidth, 30);
  field->setAccessibleName(QStringLiteral("Nieuwe toets voor de gekozen opdracht"));
  field->setAccessibleDescription(QStringLiteral(
      "Spatie of een klik, dan de nieuwe toets; Escape laat de toets zoals hij was"));
  fieldLabel->setBuddy(field);

  auto *defaults = AddDarkDialogButton(form.get(), QStringLiteral("Standaard"), DarkLabelLeft, 460,
                                       125, mrNone, palette::Colour(palette::GreyAccent));
  defaults->setObjectName(QStringLiteral("btnDefaults"));
  defaults->setAccessibleName(QStringLiteral("Standaard: elke opdracht zijn eigen toets"));
  defaults->setAccessibleDescription(QStringLiteral("Alt+S"));
  defaults->setToolTip(QStringLiteral("Elke opdracht weer zijn standaardtoets (Alt+S)"));
  AddDarkDialogButton(form.get(), QStringLiteral("Annuleren"), 190, 460, 125, mrCancel,
                      palette::Colour(palette::GreyAccent));
  AddDarkDialogButton(form.get(), QStringLiteral("OK"), 325, 460, 125, mrOk,
                      palette::Colour(palette::BlueAccent));

  const auto selected = [list] { return list->indexOfTopLevelItem(list->currentItem()); };
  const auto show = [&] {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      list->topLevelItem(i)->setText(1, KeyText(keys[static_cast<std::size_t>(i)]));
    const int row = selected();
    field->Show(row >= 0 ? keys[static_cast<std::size_t>(row)] : QKeySequence());
    field->setEnabled(row >= 0);
  };
  QObject::connect(list, &QTreeWidget::currentItemChanged, form.get(), [&] { show(); });
  field->OnCaptured = [&](const QKeySequence &AKey) {
    const int row = selected();
    if (row < 0)
      return;
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == AKey && static_cast<int>(i) != row) {
        ShowDarkError(QStringLiteral("%1 is al de toets van \"%2\". Kies een andere toets voor "
                                     "\"%3\".")
                          .arg(KeyText(AKey), AChoices[i].Label,
                               AChoices[static_cast<std::size_t>(row)].Label));
        return;
      }
    keys[static_cast<std::size_t>(row)] = AKey;
    show();
  };
  const auto restore = [&] {
    for (std::size_t i = 0; i < AChoices.size(); ++i)
      keys[i] = AChoices[i].Default;
    show();
  };
  QObject::connect(defaults, &TModernButton::OnClick, form.get(), restore);
  auto *defaultsKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_S), form.get());
  QObject::connect(defaultsKey, &QShortcut::activated, form.get(), restore);

  list->setCurrentItem(list->topLevelItem(0));
  show();
  list->setFocus();
  QWidget::setTabOrder(list, field);
  QWidget::setTabOrder(field, defaults);
  if (ShowDarkModal(form.get()) != mrOk)
    return std::nullopt;
  return keys;
}

} // namespace praatkist::ui

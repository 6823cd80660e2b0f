#include "ui/style/DarkStyle.h"
#include "ui/style/Palette.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPalette>

namespace praatkist::ui {

void ApplyDarkPopup(QComboBox *ACombo)
{
  const QColor field = palette::Colour(palette::FieldBackground);
  const QColor text = palette::Colour(palette::DialogText);
  const QColor grey = palette::Colour(palette::DisabledGrey);
  QPalette pal = ACombo->palette();
  for (QPalette::ColorRole role :
       {QPalette::Window, QPalette::Base, QPalette::AlternateBase, QPalette::Button})
    pal.setColor(role, field);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    pal.setColor(role, text);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    pal.setColor(QPalette::Disabled, role, grey);
  pal.setColor(QPalette::Highlight, palette::Colour(palette::BlueAccent));
  pal.setColor(QPalette::HighlightedText, Qt::white);

  // The list lives in a window of its own, which takes no colours from the combo box:
  // give the window, the list and its viewport the palette themselves.
  QAbstractItemView *list = ACombo->view();
  list->setPalette(pal);
  list->viewport()->setPalette(pal);
  list->viewport()->setAutoFillBackground(true);
  if (QWidget *popup = list->window(); popup != ACombo->window()) {
    popup->setPalette(pal);
    popup->setAutoFillBackground(true);
  }
}

} // namespace praatkist::ui

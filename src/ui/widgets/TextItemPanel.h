#pragma once
// TTextItemPanel: the text the speaker reads for the next take, large enough to read at
// arm's length (20 pt at scale 1, wrapped), with its id and how far the list is
// ("12 / 480") above it. Screen readers hear the id and the text whenever the item
// changes (the panel's accessible name changes with it).

#include <QString>
#include <QWidget>

class QLabel;

namespace praatkist::ui {

class TTextItemPanel : public QWidget {
  Q_OBJECT

public:
  explicit TTextItemPanel(QWidget *AParent = nullptr);

  // Item AIndex (0-based) of ACount, with its id and text.
  void ShowItem(int AIndex, int ACount, const QString &AId, const QString &AText);
  // No list: nothing shown.
  void Clear();

  QString PlaceText() const;
  QString ItemText() const;

private:
  QLabel *FPlace;
  QLabel *FText;
};

} // namespace praatkist::ui

#pragma once
// TTextItemPanel: the text the speaker reads for the next take, large enough to read at
// arm's length, with its id and how far the list is ("12 / 480") above it. The text is
// wrapped within the panel at 20 pt; a text too long for that gets a smaller font, down
// to 14 pt, and beyond that scrolls up and down. Screen readers hear the id and the text
// whenever the item changes (the panel's accessible name changes with it).

#include <QString>
#include <QWidget>

class QLabel;
class QScrollArea;

namespace praatkist::ui {

class TTextItemPanel : public QWidget {
  Q_OBJECT

public:
  // The text's sizes in points: as large as fits, within these.
  static constexpr int LargestPt = 20;
  static constexpr int SmallestPt = 14;

  explicit TTextItemPanel(QWidget *AParent = nullptr);

  // Item AIndex (0-based) of ACount, with its id and text.
  void ShowItem(int AIndex, int ACount, const QString &AId, const QString &AText);
  // No list: nothing shown.
  void Clear();

  QString PlaceText() const;
  QString ItemText() const;

protected:
  void resizeEvent(QResizeEvent *AEvent) override;

private:
  // Places the place line and the text below it, and sizes the text to fit.
  void Place();

  QLabel *FPlace;
  QScrollArea *FScroll;
  QLabel *FText;
};

} // namespace praatkist::ui

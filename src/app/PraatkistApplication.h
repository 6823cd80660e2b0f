#pragma once
// The application object: an exception that reaches the event loop from any handler is
// shown in the general error box, and the program goes on.

#include <QApplication>

namespace praatkist::app {

class TPraatkistApplication : public QApplication {
  Q_OBJECT

public:
  TPraatkistApplication(int &argc, char **argv);
  bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace praatkist::app

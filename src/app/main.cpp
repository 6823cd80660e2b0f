#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Praatkist"));
  QApplication::setApplicationDisplayName(QStringLiteral("Praatkist"));
  QLabel window(QStringLiteral("Praatkist"));
  window.setWindowTitle(QStringLiteral("Praatkist"));
  window.resize(924, 725);
  window.show();
  return app.exec();
}

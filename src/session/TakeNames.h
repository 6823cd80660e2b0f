#pragma once
// The takes of a session in the order the take list shows them: textual and without
// regard to case ("Koor-10.wav" before "Koor-2.wav"), names that differ only in case in
// the order a folder enumerates them. A take is found, added and removed without
// sorting the rest again.

#include <QCollator>
#include <QString>
#include <QStringList>

#include <vector>

namespace praatkist {

class TTakeNames {
public:
  TTakeNames();

  // ANames in their order (what LoadRecordings lists).
  void Assign(const QStringList &ANames);
  // Sorts ANames into that order.
  static void Sort(QStringList &ANames);

  int Count() const noexcept { return static_cast<int>(FNames.size()); }
  const QString &At(int ARow) const { return FNames[static_cast<std::size_t>(ARow)]; }
  // The row of AName, -1 when it is not among them.
  int Find(const QString &AName) const;
  // The row AName would take (its own where it is there already).
  int RowFor(const QString &AName) const;
  // Adds AName where it belongs: its row (where it was there already, that one).
  int Insert(const QString &AName);
  // Removes AName: the row it had, -1 when it was not there.
  int Remove(const QString &AName);

private:
  bool Before(const QString &A, const QString &B) const;

  QCollator FCollator;
  std::vector<QString> FNames;
};

} // namespace praatkist

#include "session/TakeNames.h"

#include <algorithm>
#include <numeric>

#include "platform/FileSystem.h"

namespace praatkist {

namespace {

QCollator TakeCollator()
{
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  collator.setNumericMode(false); // textual: "Koor-10.wav" before "Koor-2.wav"
  return collator;
}

// Names the collator holds equal keep the order the folder enumerates them in.
bool FolderBefore(const QString &A, const QString &B)
{
  return platform::FolderEnumerationBefore(A, B);
}

} // namespace

TTakeNames::TTakeNames() : FCollator(TakeCollator()) {}

bool TTakeNames::Before(const QString &A, const QString &B) const
{
  const int byText = FCollator.compare(A, B);
  return byText != 0 ? byText < 0 : FolderBefore(A, B);
}

void TTakeNames::Sort(QStringList &ANames)
{
  const QCollator collator = TakeCollator();
#ifdef _WIN32
  const bool byKeys = false; // the system's sort keys need not order as its comparison
#else
  // The C locale compares code units (without case) cheaply, but its sort keys would
  // keep the case.
  const bool byKeys = collator.locale().language() != QLocale::C;
#endif
  if (!byKeys) {
    std::sort(ANames.begin(), ANames.end(), [&](const QString &a, const QString &b) {
      const int byText = collator.compare(a, b);
      return byText != 0 ? byText < 0 : FolderBefore(a, b);
    });
    return;
  }
  // A key per name, made once: comparing keys is far cheaper than asking the collator
  // for every pair.
  std::vector<QCollatorSortKey> keys;
  keys.reserve(static_cast<std::size_t>(ANames.size()));
  for (const QString &name : ANames)
    keys.push_back(collator.sortKey(name));
  std::vector<qsizetype> order(static_cast<std::size_t>(ANames.size()));
  std::iota(order.begin(), order.end(), qsizetype(0));
  std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
    const int byText = keys[static_cast<std::size_t>(a)].compare(keys[static_cast<std::size_t>(b)]);
    return byText != 0 ? byText < 0 : FolderBefore(ANames[a], ANames[b]);
  });
  QStringList sorted;
  sorted.reserve(ANames.size());
  for (const qsizetype i : order)
    sorted.append(ANames[i]);
  ANames = std::move(sorted);
}

void TTakeNames::Assign(const QStringList &ANames)
{
  FNames.assign(ANames.begin(), ANames.end());
}

int TTakeNames::RowFor(const QString &AName) const
{
  const auto at = std::lower_bound(FNames.begin(), FNames.end(), AName,
                                   [this](const QString &a, const QString &b) { return Before(a, b); });
  return static_cast<int>(at - FNames.begin());
}

int TTakeNames::Find(const QString &AName) const
{
  const int row = RowFor(AName);
  return row < Count() && At(row) == AName ? row : -1;
}

int TTakeNames::Insert(const QString &AName)
{
  const int row = RowFor(AName);
  if (row < Count() && At(row) == AName)
    return row;
  FNames.insert(FNames.begin() + row, AName);
  return row;
}

int TTakeNames::Remove(const QString &AName)
{
  const int row = Find(AName);
  if (row >= 0)
    FNames.erase(FNames.begin() + row);
  return row;
}

} // namespace praatkist

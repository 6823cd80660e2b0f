#pragma once
// Which text each take of a session was recorded for, and whether it is the chosen or a
// rejected take of that text: opnames.tsv in the session folder (UTF-8, tab-separated,
// a header line "opname<TAB>id<TAB>status", states "gekozen", "afgekeurd" or empty).
//
// Every change reads the file again, changes that and puts the new file in place by a
// rename, so that a crash leaves the old file or the new one and two programs on one
// session never lose each other's bindings: the temporary file beside it is claimed by
// its writer (platform/FileClaim) and serves as the lock; one that a crash left behind
// is taken over. A take the file does not name is a plain take; a line whose take is
// gone is dropped at the next write.

#include <QString>

#include <functional>
#include <vector>

namespace praatkist {

enum class TTakeStatus { Plain, Chosen, Rejected };

struct TTakeBinding {
  QString Take;   // the take's file name in the session folder ("Koor-3.wav")
  QString ItemId; // the id of its text
  TTakeStatus Status = TTakeStatus::Plain;

  bool operator==(const TTakeBinding &) const = default;
};

class TTakeBindings {
public:
  static inline const QString FileName = QStringLiteral("opnames.tsv");

  // The bindings of the session folder AFolder as its file holds them now, in the
  // file's order; none when there is no file. Lines it cannot read are left out.
  static std::vector<TTakeBinding> Read(const QString &AFolder);

  // Reads the file afresh, lets AChange change the bindings, drops those whose take is
  // no longer in AFolder and puts the result in place; the bindings written. Raises
  // EFileError when the file cannot be written (everything then stays as it was).
  static std::vector<TTakeBinding> Update(const QString &AFolder,
                     const std::function<void(std::vector<TTakeBinding> &)> &AChange);

  // The take ATake of AFolder belongs to item AItemId (a new take: no status).
  static std::vector<TTakeBinding> Bind(const QString &AFolder, const QString &ATake, const QString &AItemId);
  // ATake is rejected, or no longer (Plain).
  static std::vector<TTakeBinding> SetStatus(const QString &AFolder, const QString &ATake, TTakeStatus AStatus);
  // ATake becomes its item's chosen take; the item's other chosen take goes back to plain.
  static std::vector<TTakeBinding> Choose(const QString &AFolder, const QString &ATake);

  // Drops from ABindings those whose take is no longer a file in AFolder (looked for in
  // one pass over the folder).
  static void KeepPresent(const QString &AFolder, std::vector<TTakeBinding> &ABindings);

  // The chosen take of item AItemId among ABindings: the one marked chosen, else the
  // latest (last in ABindings) that is not rejected; empty when there is none.
  static QString ChosenTake(const std::vector<TTakeBinding> &ABindings, const QString &AItemId);

  // The file's bytes for ABindings, and the bindings of such bytes.
  static QByteArray Serialize(const std::vector<TTakeBinding> &ABindings);
  static std::vector<TTakeBinding> Parse(const QByteArray &ABytes);
};

} // namespace praatkist

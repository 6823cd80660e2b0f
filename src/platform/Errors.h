#pragma once
// Exceptions of the program. Every message is Dutch text in UTF-8, meant for the user.

#include <stdexcept>
#include <string>

namespace praatkist {

// Base of everything the program raises on purpose.
class EPraatkistError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A call that does not fit the current state ("Er loopt al een opname.").
class EInvalidOperation : public EPraatkistError {
public:
  using EPraatkistError::EPraatkistError;
};

// A bad argument ("Geef een geldige sessienaam zonder speciale maptekens op.").
class EInvalidArgument : public EPraatkistError {
public:
  using EPraatkistError::EPraatkistError;
};

// Something named does not exist ("Sessie \"Koor\" bestaat niet.").
class ENotFound : public EPraatkistError {
public:
  using EPraatkistError::EPraatkistError;
};

// A file-system operation failed; the message carries the system's text and the path.
class EFileError : public EPraatkistError {
public:
  using EPraatkistError::EPraatkistError;
};

// A failed call into the audio layer: "<step> mislukt (BASS-fout <code>).".
class EAudioError : public EPraatkistError {
public:
  EAudioError(const std::string &step, int code);
  int Code() const noexcept { return FCode; }
  const std::string &Step() const noexcept { return FStep; }

private:
  std::string FStep;
  int FCode;
};

} // namespace praatkist

// How the lookup of one registry value ended, told the same way on every platform,
// and the FileError that says why a lookup found no text.
#pragma once

#include <string>
#include <utility>

#include "base/file_error.h"

namespace velmoth {

struct RegLookup {
  // In the order a lookup gets through them: a later state got further.
  enum State { kNoKey, kNoValue, kNotAString, kFound };

  // A lookup that got as far as `state` and no further, and one that found text.
  RegLookup(State state = kNoKey, int error = kErrorNotFound) : state(state), error(error) {}
  explicit RegLookup(std::string text) : state(kFound), text(std::move(text)) {}

  State state = kNoKey;
  // The platform's error number for kNoKey and kNoValue: kErrorNotFound when the
  // key or the value is not there, else why it could not be read.
  int error = kErrorNotFound;
  // The text of a value found, as UTF-8 up to its first NUL.
  std::string text;

  // Whether the value is there, whatever its type: a lookup in another place
  // (the other registry view) must not be tried then.
  bool Exists() const { return state >= kNotAString; }
};

// Of two lookups of one value in two places, the one that got further; `first`
// when they got as far.
RegLookup Further(RegLookup first, RegLookup second);

// How the errors name a value: The registry value "<valueName>".
std::string RegistryValuePhrase(const std::string& valueName);

// The text found, or the FileError saying why none was, naming the key as
// HKEY_LOCAL_MACHINE\<keyPath> and the value by its name.
std::string TextOrThrow(RegLookup lookup, const std::string& keyPath, const std::string& valueName);

}  // namespace velmoth

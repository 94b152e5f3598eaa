// What the registry lookup does alike on every platform: the errors it throws and
// the empty text that stands for any of them.
#include "config/registry.h"

#include <utility>

#include "config/registry_lookup.h"

namespace velmoth {
namespace {

// "does not exist" when the error says so, else `failed` and the system's reason.
std::string Reason(int error, const char* failed) {
  return KindOfNumber(error) == ErrorKind::kNotFound ? " does not exist"
                                                     : failed + ErrorDescription(error);
}

}  // namespace

RegLookup Further(RegLookup first, RegLookup second) {
  return second.state > first.state ? std::move(second) : std::move(first);
}

std::string TextOrThrow(RegLookup lookup, const std::string& keyPath,
                        const std::string& valueName) {
  const std::string key = RegistryKeyName(keyPath);
  switch (lookup.state) {
    case RegLookup::kNoKey:
      throw FileError(KindOfNumber(lookup.error), lookup.error,
                      "The registry key" + Reason(lookup.error, " cannot be opened: "), key);
    case RegLookup::kNoValue:
      throw FileError(KindOfNumber(lookup.error), lookup.error,
                      RegistryValuePhrase(valueName) + Reason(lookup.error, " cannot be read: "),
                      key);
    case RegLookup::kNotAString:
      throw FileError(ErrorKind::kOther, kErrorUnsupportedType,
                      RegistryValuePhrase(valueName) + " is not a string", key);
    case RegLookup::kFound:
      break;
  }
  return std::move(lookup.text);
}

std::string GetRegString(const std::string& keyPath, const std::string& valueName) {
  try {
    return ReadRegString(keyPath, valueName);
  } catch (const std::exception&) {  // any FileError, or out of memory
    return {};
  }
}

std::string RegistryValuePhrase(const std::string& valueName) {
  return "The registry value \"" + valueName + "\"";
}

std::string RegistryKeyName(const std::string& keyPath) { return "HKEY_LOCAL_MACHINE\\" + keyPath; }

}  // namespace velmoth

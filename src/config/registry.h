// Where the mail server keeps its queues, read from its registry values under
// HKEY_LOCAL_MACHINE afresh on every call: either the value's text or, from the
// Read functions, a FileError that says why there is none.
#pragma once

#include <string>

namespace velmoth {

inline constexpr char kServerKey[] = "SOFTWARE\\korvane\\korvane";
inline constexpr char kBadMailValue[] = "Bad Mail Directory";
inline constexpr char kSmtpConnectorKey[] = "SOFTWARE\\korvane\\korvane\\connectors\\smtp";
inline constexpr char kOutboundQueueValue[] = "Outbound Queue Directory";

// The string value `valueName` of the key `keyPath` under HKEY_LOCAL_MACHINE, as
// UTF-8 up to its first NUL: the 32-bit registry view first, then the 64-bit one.
// Throws a FileError whose path is RegistryKeyName(keyPath) when the key or the
// value is missing or unreadable, or the value is not of a string type; off
// Windows, one naming the prefix or its system.reg when there is no registry to
// read.
std::string ReadRegString(const std::string& keyPath, const std::string& valueName);

// ReadRegString, with empty text instead of any failure.
std::string GetRegString(const std::string& keyPath, const std::string& valueName);

// A key as the errors name it: "HKEY_LOCAL_MACHINE\<keyPath>".
std::string RegistryKeyName(const std::string& keyPath);

}  // namespace velmoth
